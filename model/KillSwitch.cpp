#include "KillSwitch.h"

#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "KillSwitchStatus.h"
#include "ModelContext.h"
#include "OperatorRequests.h"
#include "PublishedField.h"

#include <QPointer>
#include <QScopeGuard>

const QString KillSwitch::emergencyRevokeActionKey = QStringLiteral("emergencyRevokeAll");
const QString KillSwitch::emergencyRevokeConfirmationTitle = QStringLiteral("Revoke all agent keys?");
const QString KillSwitch::emergencyRevokeConfirmationText = QStringLiteral(
    "Every active agent key will be revoked immediately, and the kill switch will pause agent calls while you "
    "recover. Your connected app credentials stay safe in the local vault. To resume, disable the kill switch and "
    "create fresh agent keys.");
const QString KillSwitch::pausedText =
    QStringLiteral("All agent access is paused. Click Disable kill switch to restore.");

namespace {
QJsonObject switchBody(bool enabled)
{
    return {{QStringLiteral("enabled"), enabled}};
}

// "1 agent key", "2 agent keys".
QString agentKeys(qsizetype count)
{
    return QStringLiteral("%1 agent key%2").arg(count).arg(count == 1 ? QString() : QStringLiteral("s"));
}
} // namespace

KillSwitch::KillSwitch(ModelContext &context, BrokerSnapshot &snapshot, QObject *parent)
    : QObject(parent), m_context(context), m_snapshot(snapshot)
{
}

void KillSwitch::setKillSwitchConfirmationRequested(bool requested)
{
    assignPublished(this, m_confirmationRequested, requested, &KillSwitch::killSwitchChanged);
}

void KillSwitch::setActive(bool active)
{
    assignPublished(this, m_active, active, &KillSwitch::killSwitchChanged);
}

QCoro::Task<> KillSwitch::setKillSwitch(bool enabled)
{
    m_context.status().setStatusMessage(enabled ? QStringLiteral("Enabling kill switch")
                                                : QStringLiteral("Disabling kill switch"));
    const QJsonObject body = switchBody(enabled);
    const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, BrokerPaths::killSwitch, body);
    if (!answer) {
        m_context.status().fail(answer.failure().description());
        co_return;
    }
    setActive(enabled);
    co_await m_context.refreshAfterChange();
}

QCoro::Task<> KillSwitch::emergencyRevokeAllAgentKeys()
{
    if (!m_context.actions().begin(emergencyRevokeActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(emergencyRevokeActionKey); });
    const QList<MasterKeySummary> keys = m_snapshot.activeMasterKeys();
    m_context.status().setStatusMessage(keys.isEmpty() ? QStringLiteral("Engaging kill switch")
                                                       : QStringLiteral("Revoking ") + agentKeys(keys.size()));

    const QJsonObject engage = switchBody(true);
    const BrokerResult<QByteArray> engaged = co_await OperatorRequests::post(m_context, BrokerPaths::killSwitch, engage);
    if (!engaged) {
        m_context.status().fail(engaged.failure().description());
        co_return;
    }
    // The switch is on from here, whatever happens to the keys: the screens must say so.
    setActive(true);

    QStringList failed;
    const QJsonObject empty;
    for (const MasterKeySummary &key : keys) {
        const QString path = BrokerPaths::masterKeyRevokeEncoded(key.id);
        const BrokerResult<QByteArray> revoked = co_await OperatorRequests::post(m_context, path, empty);
        if (!revoked)
            failed.append(key.name.isEmpty() ? key.id : key.name);
    }
    co_await m_context.refreshAfterChange();

    if (!failed.isEmpty()) {
        m_context.status().fail(QStringLiteral("Kill switch engaged, but %1 could not be revoked: %2")
                                    .arg(agentKeys(failed.size()), failed.join(QStringLiteral(", "))));
    } else if (!keys.isEmpty()) {
        m_context.status().setStatusMessage(
            QStringLiteral("Emergency revoke complete: %1 revoked.").arg(agentKeys(keys.size())));
    } else {
        m_context.status().setStatusMessage(QStringLiteral("Kill switch engaged. No active agent keys needed revoking."));
    }
}

QCoro::Task<> KillSwitch::loadKillSwitchState()
{
    if (!m_snapshot.brokerIdentityVerified() || !m_snapshot.operatorUnlocked())
        co_return;
    // Started by every refresh and awaited by no one: the model may be gone when the answer comes.
    const QPointer<KillSwitch> alive(this);
    const QString path = BrokerPaths::killSwitch;
    const BrokerResult<KillSwitchStatus> state =
        co_await m_context.client().get<KillSwitchStatus>(m_context.brokerURL(), path, m_context.operatorHeaders());
    if (alive && state)
        setActive(state->enabled);
}
