#include "KeychainTrust.h"

#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "LegacyKeychainPolicy.h"
#include "ModelContext.h"
#include "PublishedField.h"
#include "ServiceSupervision.h"
#include "VaultUnlock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>

const QString KeychainTrust::checkActionKey = QStringLiteral("checkKeychain");
const QString KeychainTrust::operatorItemID = QStringLiteral("operator-bootstrap");

namespace {
const QString legacyKeyringMethod = QStringLiteral("mac-keychain");

bool legacyEnabled()
{
    return LegacyKeychainPolicy::isEnabled();
}

// QJsonDocument writes object keys sorted, so the copy is stable for the same status.
QString prettyJson(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}
} // namespace

KeychainTrust::KeychainTrust(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                             VaultUnlock &vaultUnlock, std::shared_ptr<TextClipboard> clipboard, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_vaultUnlock(vaultUnlock)
    , m_clipboard(std::move(clipboard))
{
}

void KeychainTrust::setStatus(const KeychainTrustStatusResponse &status)
{
    m_status = status;
    emit keychainTrustChanged();
}

void KeychainTrust::setMessage(const QString &message)
{
    assignPublished(this, m_message, message, &KeychainTrust::keychainTrustChanged);
}

void KeychainTrust::setRepairInProgress(bool inProgress)
{
    assignPublished(this, m_repairInProgress, inProgress, &KeychainTrust::keychainTrustChanged);
}

bool KeychainTrust::guardAllows(Purpose purpose)
{
    const bool forStatus = purpose == Purpose::status;
    if (!legacyEnabled()) {
        setMessage(forStatus ? QStringLiteral("Legacy unlock is disabled in this build. TVN uses the local vault.")
                             : QStringLiteral("Legacy unlock repair is disabled. Use Repair & Restart to restore the local vault path."));
        return false;
    }
    if (!m_supervision.brokerHealthReady()) {
        setMessage(forStatus ? QStringLiteral("Turn on Torvane before checking legacy unlock status")
                             : QStringLiteral("Turn on Torvane before repairing legacy unlock trust"));
        return false;
    }
    if (!m_snapshot.brokerIdentityVerified())
        return false;
    return forStatus || !m_repairInProgress;
}

QCoro::Task<> KeychainTrust::refreshKeychainTrustStatus()
{
    if (!guardAllows(Purpose::status))
        co_return;
    if (!m_context.actions().begin(checkActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(checkActionKey); });
    const BrokerResult<KeychainTrustStatusResponse> answer =
        co_await m_context.client().get<KeychainTrustStatusResponse>(m_context.brokerURL(), BrokerPaths::keychainTrustStatus);
    if (!answer) {
        setMessage(friendlyErrorMessage(answer.failure(), legacyEnabled()));
        co_return;
    }
    setStatus(answer.value());
    setMessage(answer.value().ok ? QStringLiteral("Legacy unlock trust looks ready")
                                 : QStringLiteral("Legacy unlock trust needs attention"));
}

QCoro::Task<> KeychainTrust::repairKeychainTrust()
{
    const QJsonObject body{{QStringLiteral("repairAll"), true}};
    co_await repair(body, QStringLiteral("Repairing legacy unlock trust from the recovery action"), false);
}

QCoro::Task<> KeychainTrust::repairOperatorKeychainTrust()
{
    const QJsonObject body{{QStringLiteral("targets"), QJsonArray{operatorItemID}}};
    co_await repair(body, QStringLiteral("Repairing the legacy Linux unlock item"), true);
}

QCoro::Task<> KeychainTrust::repair(QJsonObject body, QString progressMessage, bool operatorItemOnly)
{
    if (!guardAllows(Purpose::repair))
        co_return;
    setRepairInProgress(true);
    const auto endRepair = qScopeGuard([this] { setRepairInProgress(false); });
    setMessage(progressMessage);
    const BrokerResult<QByteArray> answer =
        co_await m_context.client().postJSON(m_context.brokerURL(), BrokerPaths::keychainRepairTrust, body);
    const BrokerResult<KeychainTrustStatusResponse> decoded =
        answer ? decodeBrokerRecord<KeychainTrustStatusResponse>(answer.value())
               : BrokerResult<KeychainTrustStatusResponse>(answer.failure());
    if (!decoded) {
        setMessage(friendlyErrorMessage(decoded.failure(), legacyEnabled()));
        co_return;
    }
    setStatus(decoded.value());
    if (operatorItemOnly)
        setMessage(operatorRepairMessage(decoded.value()));
    else
        setMessage(decoded.value().ok ? QStringLiteral("Legacy unlock trust repaired")
                                      : QStringLiteral("Legacy unlock trust repair needs attention"));
}

QString KeychainTrust::operatorRepairMessage(const KeychainTrustStatusResponse &status) const
{
    for (const KeychainTrustRepairItemResult &result : status.repairResults.value_or(QList<KeychainTrustRepairItemResult>())) {
        if (result.id != operatorItemID)
            continue;
        if (result.status == QLatin1StringView("repaired"))
            return QStringLiteral("Unlock trust repaired. Choose Always Allow if Linux asks once more.");
        if (result.status == QLatin1StringView("missing"))
            return QStringLiteral("No unlock item to repair yet. It appears after you first unlock the vault.");
        return QStringLiteral("Unlock trust repair needs attention. Try unlocking the vault again.");
    }
    return status.ok ? QStringLiteral("Legacy unlock trust looks ready") : QStringLiteral("Legacy unlock trust needs attention");
}

void KeychainTrust::copyKeychainDiagnostics()
{
    if (!legacyEnabled()) {
        m_context.status().setStatusMessage(
            QStringLiteral("Legacy unlock diagnostics are hidden because TVN is using the local vault"));
        return;
    }
    // Nothing read yet: an empty copy would look like a healthy report.
    if (!m_status) {
        m_context.status().setStatusMessage(QStringLiteral("Check legacy unlock status before copying diagnostics"));
        return;
    }
    m_clipboard->setText(prettyJson(m_status->toJson()));
    m_context.status().setStatusMessage(QStringLiteral("Redacted legacy unlock diagnostics copied"));
}

bool KeychainTrust::sessionsUseLegacyKeyring() const
{
    const OperatorStatus status = m_snapshot.operatorStatus();
    return status.enabled && status.unlockMethod == legacyKeyringMethod;
}

QString KeychainTrust::keychainTrustSummary() const
{
    if (!legacyEnabled()) {
        return sessionsUseLegacyKeyring()
            ? QStringLiteral("Legacy Linux unlock is disabled. Repair & Restart the local service to use TVN's local vault.")
            : QStringLiteral("TVN is using the owner-only local vault. Legacy unlock repair controls are hidden.");
    }
    if (!m_status)
        return QStringLiteral("Legacy unlock trust will appear after the local service is running.");
    qsizetype attention = 0;
    qsizetype present = 0;
    for (const KeychainTrustItemStatus &item : m_status->items) {
        attention += item.status == QLatin1StringView("unavailable") ? 1 : 0;
        present += item.present ? 1 : 0;
    }
    if (attention > 0)
        return QString::number(attention)
            + QStringLiteral(" legacy unlock item needs attention. Repair access, then unlock the vault again.");
    if (present == 0)
        return QStringLiteral("No TVN legacy unlock items found yet. They will appear after setup creates the local vault.");
    return QString::number(present) + QStringLiteral(" TVN legacy unlock item") + (present == 1 ? QString() : QStringLiteral("s"))
        + QStringLiteral(" found. The app and helper are trusted for the current install.");
}

QString KeychainTrust::keychainApprovalGuidance() const
{
    const OperatorStatus status = m_snapshot.operatorStatus();
    if (status.enabled && status.unlockMethod == QLatin1StringView("local-file"))
        return QStringLiteral("Unlock the vault from the local owner-only file. No Linux password prompt is expected.");
    if (legacyEnabled())
        return QStringLiteral("The first time, Linux may ask for your login password. Choose Always Allow so Torvane won't ask again.");
    return QStringLiteral("This install is still reporting the legacy Linux unlock backend. Repair & Restart migrates the "
                          "local service back to TVN's owner-only local vault.");
}

QString KeychainTrust::localVaultSummary() const
{
    const OperatorStatus status = m_snapshot.operatorStatus();
    if (sessionsUseLegacyKeyring()) {
        return legacyEnabled() ? QStringLiteral("Legacy Linux unlock is enabled for this environment.")
                               : QStringLiteral("Legacy Linux unlock is disabled; use Repair & Restart to return to the local vault.");
    }
    if (status.unlockMethod == QLatin1StringView("secure-enclave"))
        return QStringLiteral("Your operator unlock secret is sealed in this computer's TPM and released with ")
            + VaultUnlockMethods::methodPhrase(m_vaultUnlock.availableMethod());
    if (!status.enabled || !m_context.operatorSessionID().isEmpty())
        return QStringLiteral("TVN is using its owner-only local vault. No Linux credential prompt is needed.");
    return QStringLiteral("Local vault is ready for unlock from TVN's owner-only state file.");
}
