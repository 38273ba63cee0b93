#include "AppModel.h"

#include "LibsecretSecretStore.h"
#include "LocalServiceController.h"
#include "PamOwnerAuthentication.h"
#include "TVNEnvironment.h"

#include <QMetaMethod>
#include <QMetaProperty>

AppModel::Dependencies AppModel::defaultDependencies(std::shared_ptr<TextClipboard> clipboard)
{
    const TVNRuntimeIdentity &identity = AppMetadata::runtimeIdentity();
    ServiceSupervision::Dependencies supervision{
        std::make_shared<LocalServiceController>(LocalServiceContext::forCurrentApp())};
    supervision.clipboard = std::move(clipboard);
    supervision.takeoverWaitSeconds = TVNEnvironment().takeoverWaitSeconds();
    Dependencies deps{identity, AppMetadata::current(), std::move(supervision), UserDefaults()};
    deps.ownerAuthentication = [identity](PasswordPrompter *prompter) {
        return std::shared_ptr<OwnerAuthentication>(PamOwnerAuthentication::fromEnvironment(identity, prompter));
    };
    deps.hardwareKeys = HardwareKeyProvider::systemDefault();
    deps.secretStore = std::make_shared<LibsecretSecretStore>();
    return deps;
}

AppModel::AppModel(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_context(std::make_unique<ModelContext>(dependencies.identity, dependencies.metadata, dependencies.userDefaults))
    , m_snapshot(std::make_unique<BrokerSnapshot>(*m_context))
    , m_presencePrompt(std::make_unique<PresencePrompt>())
    , m_clipboard(dependencies.supervision.clipboard)
    , m_supervision(std::make_unique<ServiceSupervision>(*m_context, *m_snapshot, std::move(dependencies.supervision)))
{
    OperatorSession::Dependencies session{dependencies.ownerAuthentication(m_presencePrompt.get()),
                                          dependencies.hardwareKeys,
                                          KeychainVault(dependencies.identity, dependencies.secretStore)};
    m_operatorSession = std::make_unique<OperatorSession>(*m_context, *m_snapshot, *m_supervision, std::move(session));
    m_vaultUnlock = std::make_unique<VaultUnlock>(*m_context, *m_snapshot, *m_supervision, *m_operatorSession);
    m_dashboardHandoff = std::make_unique<DashboardHandoff>(*m_context, *m_snapshot, *m_supervision,
                                                            *m_operatorSession, *m_vaultUnlock);
    m_refreshCycle = std::make_unique<RefreshCycle>(*m_context, *m_snapshot, *m_supervision, *m_operatorSession,
                                                    *m_dashboardHandoff);
    m_brokerEvents = std::make_unique<BrokerEventStream>(*m_context, *m_snapshot, *m_supervision);
    m_connections = std::make_unique<Connections>(*m_context, *m_snapshot);
    const LocalAgentProfileStore profileStore(dependencies.identity.stateDirectoryPath(), dependencies.hardwareKeys);
    m_agentKeys = std::make_unique<AgentKeys>(*m_context, *m_snapshot, *m_supervision, profileStore, m_clipboard);
    m_agentHandoff =
        std::make_unique<AgentHandoff>(*m_context, *m_snapshot, *m_supervision, *m_agentKeys, profileStore, m_clipboard);
    m_killSwitch = std::make_unique<KillSwitch>(*m_context, *m_snapshot);
    m_proxyProfiles = std::make_unique<ProxyProfiles>(*m_context, *m_snapshot, m_clipboard);
    m_approvals = std::make_unique<Approvals>(*m_context, *m_snapshot);
    m_backups = std::make_unique<Backups>(*m_context);
    m_keychainTrust = std::make_unique<KeychainTrust>(*m_context, *m_snapshot, *m_supervision, *m_vaultUnlock, m_clipboard);

    m_context->setRefreshAfterChange([cycle = m_refreshCycle.get()] { return cycle->refreshWhenIdle(); });
    connect(m_refreshCycle.get(), &RefreshCycle::cycleClosed, m_vaultUnlock.get(), &VaultUnlock::closeRefreshCycle);
    connect(m_supervision.get(), &ServiceSupervision::brokerListenerObserved, m_dashboardHandoff.get(),
            &DashboardHandoff::handleBrokerListeningObservedForDashboardHandoff);
    connect(m_vaultUnlock.get(), &VaultUnlock::operatorStateForgotten, m_dashboardHandoff.get(),
            &DashboardHandoff::clearWebFirstRunCompleted);
    connect(m_refreshCycle.get(), &RefreshCycle::cycleClosed, m_killSwitch.get(), &KillSwitch::loadKillSwitchState);
    for (QObject *concern : std::initializer_list<QObject *>{m_context.get(), &m_context->status(), &m_context->actions(),
                                                             m_snapshot.get(), m_presencePrompt.get(), m_supervision.get(),
                                                             m_operatorSession.get(), m_vaultUnlock.get(), m_dashboardHandoff.get(),
                                                             m_brokerEvents.get(),
                                                             m_refreshCycle.get(), m_connections.get(),
                                                             m_agentKeys.get(), m_killSwitch.get(), m_proxyProfiles.get(),
                                                             m_approvals.get(), m_backups.get(), m_keychainTrust.get(),
                                                             m_agentHandoff.get()})
        forwardChanges(concern);
}

AppModel::~AppModel()
{
    // The prompt releases a check still waiting before the objects it reports to go away.
    m_presencePrompt->cancel();
}

void AppModel::forwardChanges(QObject *concern)
{
    const QMetaObject *meta = concern->metaObject();
    const QMetaMethod changedSignal = QMetaMethod::fromSignal(&AppModel::changed);
    for (int index = meta->methodOffset(); index < meta->methodCount(); ++index) {
        const QMetaMethod method = meta->method(index);
        if (method.methodType() == QMetaMethod::Signal && method.parameterCount() == 0)
            connect(concern, method, this, changedSignal);
    }
}

QList<SetupStepSummary> AppModel::setupSteps() const
{
    SetupStepSummary::Facts facts;
    facts.brokerReady = m_supervision->brokerReadyAndVerified();
    facts.brokerNeedsRepair =
        m_supervision->localServiceRepairRequired() || m_supervision->localServiceStartPhase().isFailure();
    // A session alone is not enough: the first run's session comes before the vault is set up,
    // and agents get nothing from a vault that is not set up or is locked.
    const QString vault = m_snapshot->vaultStatus().trimmed().toLower();
    facts.operatorUnlocked = m_snapshot->operatorUnlocked() && vault != QLatin1StringView("locked")
        && !BrokerSnapshot::isUnconfiguredVaultWord(vault);
    facts.connectedAccountsCount = m_snapshot->connectedAccountsCount();
    facts.activeMasterKeysCount = m_snapshot->activeMasterKeysCount();
    facts.healthCheckableConnections = m_snapshot->healthCheckableConnectionsCount();
    facts.handoffBaseReady = m_agentHandoff->agentHandoffBaseReady();
    facts.handoffVerified = m_agentHandoff->agentHandoffVerified();
    return SetupStepSummary::checklist(facts);
}
