#include "AutomationState.h"

#include "AgentHandoffJson.h"
#include "AppModel.h"
#include "BrokerRecordFields.h"
#include "MainContentView.h"

#include <QJsonArray>

namespace {
QString masked(const QString &secret)
{
    return secret.isEmpty() ? QString() : QStringLiteral("<set>");
}

template <typename Record>
QJsonArray encodedList(const QList<Record> &records)
{
    QJsonArray array;
    for (const Record &record : records)
        array.append(encodeRecordFields(record));
    return array;
}

template <typename Record>
QJsonValue encodedOptional(const std::optional<Record> &record)
{
    return record ? QJsonValue(encodeRecordFields(*record)) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalString(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonObject serviceStatusJson(const LocalServiceStatus &status)
{
    return {{QStringLiteral("status"), status.status},
            {QStringLiteral("launchAgent"), status.launchAgent},
            {QStringLiteral("broker"), status.broker},
            {QStringLiteral("stateDir"), status.stateDir},
            {QStringLiteral("brokerMatchesInstall"),
             status.brokerMatchesInstall ? QJsonValue(*status.brokerMatchesInstall) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("lastErrorSummary"), optionalString(status.lastErrorSummary)}};
}

QJsonObject setupStepJson(const SetupStepSummary &step)
{
    return {{QStringLiteral("id"), step.id},
            {QStringLiteral("title"), step.title},
            {QStringLiteral("detail"), step.detail},
            {QStringLiteral("state"), SetupStepSummary::stateName(step.state)},
            {QStringLiteral("systemImage"), step.systemImage}};
}

void addStatusLine(QJsonObject &state, const AppModel &model)
{
    const StatusBanner banner = model.statusBanner();
    state.insert(QStringLiteral("statusMessage"), model.statusMessage());
    state.insert(QStringLiteral("statusBanner"),
                 QJsonObject{{QStringLiteral("message"), banner.message},
                             {QStringLiteral("kind"), StatusBanner::kindName(banner.kind)},
                             {QStringLiteral("seq"), banner.seq}});
    state.insert(QStringLiteral("lastActionError"), model.lastActionError());
    state.insert(QStringLiteral("runningActions"), QJsonArray::fromStringList(model.runningActions()));
    state.insert(QStringLiteral("isRefreshing"), model.isRefreshing());
}

void addSnapshot(QJsonObject &state, const AppModel &model)
{
    const BrokerSnapshot &snapshot = *model.snapshot();
    state.insert(QStringLiteral("brokerURL"), model.brokerURL().toString());
    state.insert(QStringLiteral("health"), encodeRecordFields(snapshot.health()));
    state.insert(QStringLiteral("localPosture"), encodeRecordFields(snapshot.localPosture()));
    state.insert(QStringLiteral("operatorStatus"), encodeRecordFields(snapshot.operatorStatus()));
    state.insert(QStringLiteral("vaultStatus"), snapshot.vaultStatus());
    state.insert(QStringLiteral("brokerIdentityVerified"), snapshot.brokerIdentityVerified());
    state.insert(QStringLiteral("connectors"), encodedList(snapshot.connectors()));
    state.insert(QStringLiteral("approvals"), encodedList(snapshot.approvals()));
    state.insert(QStringLiteral("connections"), encodedList(snapshot.connections()));
    state.insert(QStringLiteral("masterKeys"), encodedList(snapshot.masterKeys()));
    state.insert(QStringLiteral("proxyProfiles"), encodedList(snapshot.proxyProfiles()));
    state.insert(QStringLiteral("proxyServices"), encodedList(snapshot.proxyServices()));
    state.insert(QStringLiteral("auditEvents"), encodedList(snapshot.auditEvents()));
    state.insert(QStringLiteral("latestProof"), encodedOptional(snapshot.latestProof()));
    state.insert(QStringLiteral("selectedConnectorID"), optionalString(snapshot.selectedConnectorID()));
    state.insert(QStringLiteral("operatorLocked"), snapshot.operatorLocked());
    state.insert(QStringLiteral("operatorUnlocked"), snapshot.operatorUnlocked());
    state.insert(QStringLiteral("activeMasterKeysCount"), snapshot.activeMasterKeysCount());
    state.insert(QStringLiteral("connectedAccountsCount"), snapshot.connectedAccountsCount());
    QJsonArray steps;
    for (const SetupStepSummary &step : model.setupSteps())
        steps.append(setupStepJson(step));
    state.insert(QStringLiteral("setupSteps"), steps);
    const std::optional<SetupStepSummary> next = model.nextSetupStep();
    state.insert(QStringLiteral("nextSetupStep"), next ? QJsonValue(next->id) : QJsonValue(QJsonValue::Null));
}

void addSupervision(QJsonObject &state, const AppModel &model)
{
    const ServiceSupervision &supervision = *model.supervision();
    state.insert(QStringLiteral("localServiceStatus"), serviceStatusJson(supervision.localServiceStatus()));
    state.insert(QStringLiteral("localServiceStartPhase"), supervision.localServiceStartPhase().name());
    state.insert(QStringLiteral("localServiceStartElapsedSeconds"), supervision.localServiceStartElapsedSeconds());
    state.insert(QStringLiteral("localServiceActionInProgress"), supervision.localServiceActionInProgress());
    state.insert(QStringLiteral("localServiceReconcileInProgress"), supervision.localServiceReconcileInProgress());
    state.insert(QStringLiteral("localServiceBrokerListeningObserved"), supervision.localServiceBrokerListeningObserved());
    state.insert(QStringLiteral("localServiceMessage"), supervision.localServiceMessage());
    state.insert(QStringLiteral("localServiceStatusTitle"), supervision.localServiceStatusTitle());
    state.insert(QStringLiteral("localServiceStatusDetail"), supervision.localServiceStatusDetail());
    state.insert(QStringLiteral("needsMacOSApproval"), supervision.needsMacOSApproval());
}

void addOperator(QJsonObject &state, const AppModel &model)
{
    const OperatorSession &session = *model.operatorSession();
    const VaultUnlock &vault = *model.vaultUnlock();
    state.insert(QStringLiteral("operatorSessionID"), masked(model.operatorSessionID()));
    state.insert(QStringLiteral("operatorUnlockInProgress"), session.operatorUnlockInProgress());
    state.insert(QStringLiteral("operatorPassphraseRequired"), session.operatorPassphraseRequired());
    state.insert(QStringLiteral("secureEnclaveUnlockInProgress"), vault.secureEnclaveUnlockInProgress());
    state.insert(QStringLiteral("secureEnclaveUnlockFeedback"), optionalString(vault.secureEnclaveUnlockFeedback()));
    state.insert(QStringLiteral("secureEnclaveUnlockFeedbackIsError"), vault.secureEnclaveUnlockFeedbackIsError());
    state.insert(QStringLiteral("shouldOfferTouchIDSetup"), vault.shouldOfferTouchIDSetup());
    state.insert(QStringLiteral("webFirstRunCompleted"), model.webFirstRunCompleted());
    state.insert(QStringLiteral("operatorSealedEnabled"), vault.operatorSealedEnabled());
    const PresencePrompt &prompt = *model.presencePrompt();
    state.insert(QStringLiteral("presencePromptPending"), prompt.isPending());
    state.insert(QStringLiteral("presencePromptReason"), prompt.request().reason);
}

void addConnections(QJsonObject &state, const AppModel &model)
{
    const Connections &connections = *model.connections();
    state.insert(QStringLiteral("connectorConnectSheetID"), optionalString(connections.connectorConnectSheetID()));
    state.insert(QStringLiteral("connectFormTitle"), connections.connectFormTitle());
    state.insert(QStringLiteral("connectAccountID"), connections.connectAccountID());
    state.insert(QStringLiteral("connectAlias"), connections.connectAlias());
    state.insert(QStringLiteral("connectSecret"), masked(connections.connectSecret()));
    state.insert(QStringLiteral("connectAuthModeID"), connections.connectAuthModeID());
    state.insert(QStringLiteral("connectError"), connections.connectError());
    state.insert(QStringLiteral("apiKeyAccountID"), connections.apiKeyAccountID());
    state.insert(QStringLiteral("apiKeyAlias"), connections.apiKeyAlias());
    state.insert(QStringLiteral("apiKeyValue"), masked(connections.apiKeyValue()));
    state.insert(QStringLiteral("selectedHealth"), encodedOptional(connections.selectedHealth()));
}

void addAgentKeys(QJsonObject &state, const AppModel &model)
{
    const AgentKeys &keys = *model.agentKeys();
    state.insert(QStringLiteral("newMasterKeyAgentID"), keys.newMasterKeyAgentID());
    state.insert(QStringLiteral("newMasterKeyName"), keys.newMasterKeyName());
    state.insert(QStringLiteral("newMasterKeyConnectorIDs"), keys.newMasterKeyConnectorIDs());
    state.insert(QStringLiteral("newMasterKeyMaxRisk"), keys.newMasterKeyMaxRisk());
    state.insert(QStringLiteral("createdMasterKey"), masked(keys.createdMasterKey()));
    state.insert(QStringLiteral("createdMasterKeyRecordID"), keys.createdMasterKeyRecordID());
    state.insert(QStringLiteral("createdMasterKeyProfile"), keys.createdMasterKeyProfile());
    state.insert(QStringLiteral("createdMasterKeyProfileVerified"), keys.createdMasterKeyProfileVerified());
    state.insert(QStringLiteral("isCreatingMasterKey"), keys.isCreatingMasterKey());
    state.insert(QStringLiteral("suggestedMasterKeyConnectorIDs"), keys.suggestedMasterKeyConnectorIDs());
    state.insert(QStringLiteral("masterKeyCreateBlocker"), optionalString(keys.masterKeyCreateBlocker()));
    state.insert(QStringLiteral("killSwitchConfirmationRequested"), model.killSwitch()->killSwitchConfirmationRequested());
    state.insert(QStringLiteral("killSwitchActive"), model.killSwitch()->killSwitchActive());
}

void addProxiesAndBackups(QJsonObject &state, const AppModel &model)
{
    const ProxyProfiles &proxies = *model.proxyProfiles();
    for (const char *field : {"proxyProfileName", "proxyAgentID", "proxyMasterKeyID", "proxyConnectorID", "proxyAccountID",
                              "proxyAllowedOrigin", "proxyAllowedPath", "proxyAllowedMethods", "proxyCredentialPlacement"})
        state.insert(QLatin1StringView(field), proxies.property(field).toString());
    state.insert(QStringLiteral("activeProxyProfiles"), encodedList(proxies.activeProxyProfiles()));
    state.insert(QStringLiteral("backupPassphrase"), masked(model.backups()->backupPassphrase()));
    // Encrypted under the backup passphrase; the form shows it as it is.
    state.insert(QStringLiteral("backupPayload"), model.backups()->backupPayload());
}
void addKeychainTrust(QJsonObject &state, const AppModel &model)
{
    const KeychainTrust &trust = *model.keychainTrust();
    state.insert(QStringLiteral("keychainTrustStatus"), encodedOptional(trust.keychainTrustStatus()));
    state.insert(QStringLiteral("keychainTrustMessage"), trust.keychainTrustMessage());
    state.insert(QStringLiteral("keychainTrustRepairInProgress"), trust.keychainTrustRepairInProgress());
    state.insert(QStringLiteral("keychainTrustSummary"), trust.keychainTrustSummary());
    state.insert(QStringLiteral("keychainApprovalGuidance"), trust.keychainApprovalGuidance());
    state.insert(QStringLiteral("localVaultSummary"), trust.localVaultSummary());
}
} // namespace

QJsonObject automationState(const AppModel &model)
{
    QJsonObject state;
    addStatusLine(state, model);
    addSnapshot(state, model);
    addSupervision(state, model);
    addOperator(state, model);
    addKeychainTrust(state, model);
    addConnections(state, model);
    addAgentKeys(state, model);
    addProxiesAndBackups(state, model);
    AgentHandoffJson::addState(state, model);
    return state;
}

void addWindowState(QJsonObject &state, const QWidget *window)
{
    const MainContentView *content = window ? window->findChild<MainContentView *>() : nullptr;
    state.insert(QStringLiteral("rootSurface"),
                 content ? QJsonValue(RootSurfaces::name(content->surface())) : QJsonValue(QJsonValue::Null));
    state.insert(QStringLiteral("dashboardRevealed"), content && content->dashboardRevealed());
}
