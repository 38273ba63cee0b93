#include "PamOwnerAuthentication.h"

#include "PamConversation.h"
#include "PamServiceStack.h"
#include "PresenceError.h"
#include "TVNRuntimeIdentity.h"

#include <pwd.h>
#include <shadow.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace {

// Large enough for any passwd or shadow entry the C library hands out.
using EntryBuffer = std::array<char, 16384>;

// What the password database says about logging in as a user, as far as this process may read it.
enum class AccountState { usable, unknownUser, noUsablePassword };

AccountState accountState(const QString &userName)
{
    const QByteArray name = userName.toUtf8();
    EntryBuffer buffer;
    passwd account{};
    passwd *found = nullptr;
    if (getpwnam_r(name.constData(), &account, buffer.data(), buffer.size(), &found) != 0 || !found)
        return AccountState::unknownUser;
    spwd shadowEntry{};
    spwd *shadowFound = nullptr;
    // Only root may read the shadow file; without it the login stack is the judge.
    if (getspnam_r(name.constData(), &shadowEntry, buffer.data(), buffer.size(), &shadowFound) != 0 || !shadowFound)
        return AccountState::usable;
    const char *hash = shadowFound->sp_pwdp;
    // Empty: no password, which the check refuses. "!" or "*": locked or never set.
    const bool unusable = !hash || hash[0] == '\0' || hash[0] == '!' || hash[0] == '*';
    return unusable ? AccountState::noUsablePassword : AccountState::usable;
}

// The availability probe never asks anything.
int refuseEveryQuestion(int, const pam_message **, pam_response **, void *)
{
    return PAM_CONV_ERR;
}

void skipFailureDelay(int, unsigned, void *)
{
}

// One PAM transaction, ended with the last status whatever happens.
class PamTransaction
{
public:
    PamTransaction(const PamServiceStack &stack, const QString &userName, const pam_conv *conversation)
    {
        const QByteArray service = stack.serviceName().toUtf8();
        const QByteArray user = userName.toUtf8();
        const QByteArray confDirectory = stack.confDirectory().toUtf8();
        m_status = pam_start_confdir(service.constData(), user.constData(), conversation,
                                     confDirectory.isEmpty() ? nullptr : confDirectory.constData(), &m_handle);
        if (m_status != PAM_SUCCESS)
            m_handle = nullptr;
    }
    ~PamTransaction()
    {
        if (m_handle)
            pam_end(m_handle, m_status);
    }
    PamTransaction(const PamTransaction &) = delete;
    PamTransaction &operator=(const PamTransaction &) = delete;

    bool started() const { return m_handle != nullptr; }
    int status() const { return m_status; }
    QString statusText() const { return QString::fromUtf8(pam_strerror(m_handle, m_status)); }

    void removeFailureDelay()
    {
        pam_set_item(m_handle, PAM_FAIL_DELAY, reinterpret_cast<const void *>(&skipFailureDelay));
    }
    // Authentication and then the account's own rules (expiry, access), as a login does.
    void authenticateAndCheckAccount()
    {
        m_status = pam_authenticate(m_handle, PAM_DISALLOW_NULL_AUTHTOK);
        if (m_status == PAM_SUCCESS)
            m_status = pam_acct_mgmt(m_handle, PAM_DISALLOW_NULL_AUTHTOK);
    }

private:
    pam_handle_t *m_handle = nullptr;
    int m_status = PAM_SYSTEM_ERR;
};

PresenceError presenceErrorFor(const PamTransaction &transaction, const QString &userName)
{
    switch (transaction.status()) {
    case PAM_AUTH_ERR:
    case PAM_CRED_INSUFFICIENT:
        return PresenceError::authenticationFailed();
    case PAM_MAXTRIES:
    case PAM_USER_UNKNOWN:
    case PAM_ACCT_EXPIRED:
    case PAM_AUTHTOK_EXPIRED:
    case PAM_NEW_AUTHTOK_REQD:
    case PAM_PERM_DENIED:
        return PresenceError::lockedOut(userName);
    default:
        return PresenceError::systemError(transaction.statusText());
    }
}

QString unstartableServiceDetail(const PamServiceStack &stack, const PamTransaction &transaction)
{
    return QStringLiteral("the PAM service \"%1\" can't be started (%2).").arg(stack.serviceName(), transaction.statusText());
}

} // namespace

PamOwnerAuthentication::PamOwnerAuthentication(PasswordPrompter *prompter)
    : PamOwnerAuthentication(prompter, Options())
{
}

PamOwnerAuthentication::PamOwnerAuthentication(PasswordPrompter *prompter, Options options)
    : m_prompter(prompter), m_options(std::move(options))
{
}

std::unique_ptr<PamOwnerAuthentication> PamOwnerAuthentication::fromEnvironment(const TVNRuntimeIdentity &identity,
                                                                                 PasswordPrompter *prompter,
                                                                                 const QProcessEnvironment &environment)
{
    Options options;
    if (identity.lane() == TVNRuntimeLane::development) {
        options.userName = environment.value(QStringLiteral("TVN_PAM_USER")).trimmed();
        options.confDirectory = environment.value(QStringLiteral("TVN_PAM_CONFDIR")).trimmed();
    }
    return std::make_unique<PamOwnerAuthentication>(prompter, std::move(options));
}

QString PamOwnerAuthentication::userName() const
{
    if (!m_options.userName.isEmpty())
        return m_options.userName;
    EntryBuffer buffer;
    passwd account{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &account, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return QString::fromUtf8(found->pw_name);
}

QString PamOwnerAuthentication::serviceName() const
{
    return PamServiceStack(m_options.confDirectory).serviceName();
}

bool PamOwnerAuthentication::canEvaluateOwnerAuthentication()
{
    const QString user = userName();
    if (user.isEmpty() || accountState(user) != AccountState::usable)
        return false;
    const pam_conv conversation{&refuseEveryQuestion, nullptr};
    return PamTransaction(PamServiceStack(m_options.confDirectory), user, &conversation).started();
}

bool PamOwnerAuthentication::canEvaluateBiometrics()
{
    return PamServiceStack(m_options.confDirectory).authStackNamesModule(QStringLiteral("pam_fprintd.so"));
}

OwnerAuthentication::BiometryType PamOwnerAuthentication::biometryType(const AuthenticationContext &)
{
    return canEvaluateBiometrics() ? BiometryType::fingerprint : BiometryType::none;
}

void PamOwnerAuthentication::evaluateOwner(AuthenticationContext &context, const QString &reason)
{
    if (context.isWithinReuseWindow())
        return;
    const QString user = userName();
    if (user.isEmpty())
        throw PresenceError::unavailable(QStringLiteral("user id %1 has no account.").arg(geteuid()));
    const PamServiceStack stack(m_options.confDirectory);
    PamConversation conversation(*m_prompter, {reason, QString(), context.fallbackTitle(), {}});
    PamTransaction transaction(stack, user, conversation.handle());
    if (!transaction.started())
        throw PresenceError::unavailable(unstartableServiceDetail(stack, transaction));
    if (m_options.removeFailureDelay)
        transaction.removeFailureDelay();
    transaction.authenticateAndCheckAccount();
    if (conversation.wasCancelled())
        throw PresenceError::cancelledByUser();
    if (transaction.status() != PAM_SUCCESS)
        throw presenceErrorFor(transaction, user);
    context.approveUserPresence();
}
