#pragma once

#include "OwnerAuthentication.h"
#include "PasswordPrompter.h"

#include <QProcessEnvironment>
#include <QString>

#include <memory>

class TVNRuntimeIdentity;

// Owner authentication through the system login (PAM): the service "torvane", or "login" when that
// is not installed, for the current user, with the app's own password dialog as the conversation.
// `evaluateOwner` blocks until PAM is done (a fingerprint reader waits long): call it through
// QtConcurrent, never on the GUI thread. The `canEvaluate…` answers start PAM without asking anything.
class PamOwnerAuthentication : public OwnerAuthentication
{
public:
    struct Options
    {
        // A directory of PAM service files that replaces the system's (pam_start_confdir).
        QString confDirectory;
        // Whose login to ask for instead of the current user's. Only root may check another user.
        QString userName;
        // Skip the pause PAM makes after a wrong answer (tests).
        bool removeFailureDelay = false;
    };

    // `prompter` (not null) answers the password questions on the evaluating thread and must outlive
    // this object.
    explicit PamOwnerAuthentication(PasswordPrompter *prompter);
    PamOwnerAuthentication(PasswordPrompter *prompter, Options options);

    // In the development lane "TVN_PAM_USER" and "TVN_PAM_CONFDIR" choose the user and the conf
    // dir, so end-to-end tests can use a throwaway account; the production lane ignores them.
    static std::unique_ptr<PamOwnerAuthentication>
    fromEnvironment(const TVNRuntimeIdentity &identity, PasswordPrompter *prompter,
                    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    // The configured user, else the owner of the effective user id; empty when that has no account.
    QString userName() const;
    QString confDirectory() const { return m_options.confDirectory; }
    // "torvane" when its service file exists, else "login".
    QString serviceName() const;

    bool canEvaluateOwnerAuthentication() override;
    bool canEvaluateBiometrics() override;
    BiometryType biometryType(const AuthenticationContext &context) override;
    // Within the context's reuse window it returns at once. Otherwise it runs pam_authenticate
    // (null passwords refused) and pam_acct_mgmt, approves the context on success and throws
    // PresenceError on anything else.
    void evaluateOwner(AuthenticationContext &context, const QString &reason) override;

private:
    PasswordPrompter *m_prompter;
    Options m_options;
};
