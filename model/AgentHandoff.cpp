#include "AgentHandoff.h"

#include "AgentClientSetupWriter.h"
#include "AgentHandoffConstants.h"
#include "AgentHandoffVerifier.h"
#include "AgentKeys.h"
#include "AgentProfileNames.h"
#include "BrokerAgentConnectResponse.h"
#include "BrokerErrorPresentation.h"
#include "BrokerSnapshot.h"
#include "ModelContext.h"
#include "OperatorRequests.h"
#include "ServiceSupervision.h"
#include "TextClipboard.h"

#include <QCoroFuture>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QtConcurrent>

namespace {
using Phase = LocalServiceStartPhase::Kind;

QString laneWord(const TVNRuntimeIdentity &identity)
{
    return TVNRuntimeLanes::rawValue(identity.lane());
}

// Whether the store has a key for the profile; an unsafe file counts as none. Runs on a worker.
bool profileHasKey(LocalAgentProfileStore store, QString profile)
{
    try {
        return store.hasTorvane(profile);
    } catch (const std::exception &) {
        return false;
    }
}

// "Verified" only on the path where the broker took the key and every check passed.
QString setupMessage(const AgentClientSetupResult &result)
{
    return result.verification && result.verification->allPassed() ? QStringLiteral("Caller-bound profile created and verified")
                                                                    : QStringLiteral("Caller-bound profile created; review verification");
}
} // namespace

AgentHandoff::AgentHandoff(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                           AgentKeys &agentKeys, LocalAgentProfileStore profileStore,
                           std::shared_ptr<TextClipboard> clipboard, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_agentKeys(agentKeys)
    , m_profileStore(std::move(profileStore))
    , m_clipboard(std::move(clipboard))
{
    connect(&m_context, &ModelContext::operatorSurfacesLocked, this, [this] { setLastVerification(std::nullopt); });
}

std::optional<AgentClientSetupResult> AgentHandoff::setupResult(const QString &clientID) const
{
    const auto found = m_setupResults.constFind(clientID);
    return found == m_setupResults.constEnd() ? std::nullopt : std::optional<AgentClientSetupResult>(*found);
}

QString AgentHandoff::activeAgentHandoffProfile() const
{
    const QList<MasterKeySummary> active = m_snapshot.activeMasterKeys();
    if (!active.isEmpty())
        return AgentHandoffConfig::sanitizedProfile(AgentProfileNames::profileName(active.first().agentId));
    const QString created = m_agentKeys.createdMasterKeyProfile();
    return created.isEmpty() ? AgentHandoffConstants::fallbackProfile : created;
}

QString AgentHandoff::currentAgentHandoffWrapperCommand() const
{
    const QString reported = m_snapshot.localPosture().wrapperCommand.value_or(QString()).trimmed();
    return reported.isEmpty() ? resolvedWrapperCommand() : reported;
}

QString AgentHandoff::resolvedWrapperCommand() const
{
    return AgentHandoffVerifier::resolveWrapperCommand(m_context.identity(), m_context.metadata().prefixDirectory());
}

std::optional<QString> AgentHandoff::signerPath() const
{
    return AgentHandoffVerifier::resolveSignerPath(m_context.metadata().resourcesDirectory(),
                                                   QProcessEnvironment::systemEnvironment());
}

AgentHandoffConfig AgentHandoff::makeAgentHandoffConfig(const QString &profile) const
{
    const TVNRuntimeIdentity &identity = m_context.identity();
    return AgentHandoffConfig(profile, m_context.brokerURL().toString(), currentAgentHandoffWrapperCommand(),
                              identity.stateDirectoryPath(), laneWord(identity), signerPath());
}

bool AgentHandoff::agentHandoffBaseReady() const
{
    const bool serviceReady = m_supervision.brokerHealthReady() && m_snapshot.brokerIdentityVerified()
        && !m_supervision.localServiceRepairRequired() && !m_supervision.localServiceStartPhase().isFailure();
    const bool sessionReady = !m_snapshot.operatorStatus().enabled || !m_context.operatorSessionID().isEmpty();
    return serviceReady && sessionReady && m_snapshot.connectedAccountsCount() > 0 && m_snapshot.activeMasterKeysCount() > 0;
}

bool AgentHandoff::agentHandoffVerified() const
{
    // Once the last key is revoked the profile falls back to the one just created, whose key no
    // longer works: an earlier passing run says nothing about it.
    return m_snapshot.activeMasterKeysCount() > 0 && m_lastVerification && m_lastVerification->allPassed()
        && m_lastVerification->profile == activeAgentHandoffProfile()
        && m_lastVerification->brokerURL == m_context.brokerURL().toString();
}

AgentHandoffEntry AgentHandoff::handoffEntry() const
{
    const TVNRuntimeIdentity &identity = m_context.identity();
    return {resolvedWrapperCommand(), activeAgentHandoffProfile(), m_context.brokerURL().toString(), identity.lane(),
            identity.stateDirectoryPath(), signerPath()};
}

QString AgentHandoff::renderSnippet(const AgentClientDescriptor &client) const
{
    return AgentClientSetupWriter::renderSnippet(client, handoffEntry());
}

void AgentHandoff::setLastVerification(const std::optional<AgentHandoffVerificationReport> &report)
{
    if (m_lastVerification == report)
        return;
    m_lastVerification = report;
    emit verificationChanged();
}

QCoro::Task<AgentHandoffVerificationReport> AgentHandoff::verifyAgentHandoff(QString profile,
                                                                             std::optional<QString> configPath)
{
    const QString actionKey = verifyActionKey(profile);
    const bool began = m_context.actions().begin(actionKey);
    const auto endAction = qScopeGuard([this, began, actionKey] {
        if (began)
            m_context.actions().end(actionKey);
    });
    m_context.status().setStatusMessage(QStringLiteral("Verifying agent handoff for ") + profile);

    const TVNRuntimeIdentity &identity = m_context.identity();
    AgentHandoffVerificationReport report;
    report.id = QUuid::createUuid();
    report.profile = profile;
    report.brokerURL = m_context.brokerURL().toString();
    report.wrapperCommand = currentAgentHandoffWrapperCommand();
    report.configPath = configPath;
    report.checkedAt = QDateTime::currentDateTimeUtc();

    const AgentHandoffVerifier::ProfileInspection inspected = co_await AgentHandoffVerifier::inspectProfile(profile, m_profileStore);
    report.profilePath = inspected.profilePath;
    const AgentHandoffVerifier::WrapperInspection wrapper = AgentHandoffVerifier::inspectWrapper(report.wrapperCommand);
    report.steps << inspected.step << wrapper.step;
    if (configPath)
        report.steps << AgentHandoffVerifier::inspectConfig(*configPath);
    const AgentHandoffVerificationStep broker = co_await AgentHandoffVerifier::inspectBrokerHealth(m_context.brokerURL());
    report.steps << broker;

    const WrapperInvocation invocation{report.wrapperCommand, profile, report.brokerURL, identity.stateDirectoryPath(),
                                       laneWord(identity), signerPath(), QProcessEnvironment::systemEnvironment()};
    const bool canRun = inspected.step.ok && wrapper.usable;
    const AgentHandoffVerificationStep smoke = co_await AgentHandoffVerifier::runWrapperCheck(invocation, canRun);
    report.steps << smoke;
    const AgentHandoffVerificationStep session = co_await AgentHandoffVerifier::inspectMcpSession(invocation, smoke.ok);
    report.steps << session;

    setLastVerification(report);
    if (report.allPassed()) {
        m_context.status().setStatusMessage(QStringLiteral("Agent handoff verified for ") + profile
                                            + QStringLiteral(": wrapper, local profile, broker, and read-only smoke passed"));
    } else {
        m_context.status().setStatusMessage(QStringLiteral("Agent handoff needs attention for ") + profile
                                            + QStringLiteral(": ") + report.firstFailureDetail());
    }
    co_return report;
}

QCoro::Task<> AgentHandoff::verifyActiveAgentHandoff()
{
    const AgentHandoffConfig config = makeAgentHandoffConfig(activeAgentHandoffProfile());
    co_await verifyAgentHandoff(config.profile(), std::nullopt);
}

// Keyed by profile: runs for two profiles may overlap.
QString AgentHandoff::verifyActionKey(const QString &profile)
{
    return QStringLiteral("verifyAgentHandoff:") + profile;
}

bool AgentHandoff::verifyingActiveAgentHandoff() const
{
    return m_context.actions().contains(verifyActionKey(activeAgentHandoffProfile()));
}

bool AgentHandoff::putOnClipboard(const QString &text, const QString &profile)
{
    m_clipboard->setText(text);
    if (m_clipboard->text() != text) {
        m_context.status().fail(QStringLiteral("Agent handoff copy could not be verified. Try copying again."));
        return false;
    }
    m_lastCopyProfile = profile;
    m_lastCopyByteCount = text.toUtf8().size();
    ++m_copySeq;
    emit copyChanged();
    m_context.status().setStatusMessage(
        QStringLiteral("Agent handoff copied for %1 (%2 bytes): local wrapper, local broker, no provider credentials copied")
            .arg(profile)
            .arg(m_lastCopyByteCount));
    return true;
}

bool AgentHandoff::copyAgentHandoffConfig(const QString &profile)
{
    const QString text = makeAgentHandoffConfig(profile).clipboardText();
    if (!AgentHandoffConfig::isValidClipboardText(text)) {
        m_context.status().fail(QStringLiteral(
            "Agent handoff not copied: generated setup failed validation. Nothing was written to the clipboard."));
        return false;
    }
    return putOnClipboard(text, profile);
}

QCoro::Task<bool> AgentHandoff::copyAgentHandoffConfigIfVerified(QString profile)
{
    const AgentHandoffVerificationReport report = co_await verifyAgentHandoff(profile, std::nullopt);
    if (!report.allPassed()) {
        m_context.status().fail(QStringLiteral("Agent handoff not copied for %1: %2").arg(profile, report.firstFailureDetail()));
        co_return false;
    }
    co_return copyAgentHandoffConfig(profile);
}

QCoro::Task<> AgentHandoff::copyAgentHandoffConfig(MasterKeySummary key)
{
    const QString profile = AgentProfileNames::profileName(key.agentId);
    const QString actionKey = QStringLiteral("copyAgentSetup:") + profile;
    if (!m_context.actions().begin(actionKey))
        co_return;
    const auto endAction = qScopeGuard([this, actionKey] { m_context.actions().end(actionKey); });
    const bool present = co_await QtConcurrent::run(&profileHasKey, m_profileStore, profile);
    if (!present) {
        m_context.status().fail(QStringLiteral("Local setup profile missing for %1. Recreate the agent key or save its "
                                               "one-time key before copying setup.")
                                    .arg(profile));
        co_return;
    }
    co_await copyAgentHandoffConfigIfVerified(profile);
}

QCoro::Task<bool> AgentHandoff::copyActiveAgentHandoffConfigIfVerified()
{
    return copyAgentHandoffConfigIfVerified(activeAgentHandoffProfile());
}

QCoro::Task<> AgentHandoff::copyCreatedAgentHandoffConfig()
{
    if (!m_agentKeys.createdMasterKeyProfileVerified())
        co_await m_agentKeys.verifyCreatedMasterKeyProfile();
    if (!m_agentKeys.createdMasterKeyProfileVerified())
        co_return;
    co_await copyAgentHandoffConfigIfVerified(m_agentKeys.createdMasterKeyProfile());
}

QCoro::Task<bool> AgentHandoff::copyAgentSnippetIfVerified(AgentClientDescriptor client)
{
    const QString profile = activeAgentHandoffProfile();
    const AgentHandoffVerificationReport report = co_await verifyAgentHandoff(profile, std::nullopt);
    if (!report.allPassed()) {
        m_context.status().fail(QStringLiteral("Agent handoff not copied for %1: %2").arg(profile, report.firstFailureDetail()));
        co_return false;
    }
    co_return putOnClipboard(renderSnippet(client), profile);
}

QCoro::Task<AgentClientSetupResult> AgentHandoff::connectAgentApp(AgentClientDescriptor client)
{
    if (!client.autoWrite)
        co_return AgentClientSetupResult::failure(QStringLiteral("This agent requires a manual setup snippet."));
    m_context.status().setStatusMessage(QStringLiteral("Connecting ") + client.label + QStringLiteral(" with caller-bound proof"));
    const QString path = QStringLiteral("/v1/agents/") + client.id + QStringLiteral("/connect");
    const QJsonObject emptyBody;
    const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, path, emptyBody);
    const BrokerResult<BrokerAgentConnectResponse> connected =
        answer ? decodeBrokerRecord<BrokerAgentConnectResponse>(answer.value()) : answer.forwardFailure<BrokerAgentConnectResponse>();
    if (!connected) {
        const QString message = friendlyErrorMessage(connected.failure());
        m_context.status().fail(message);
        co_return AgentClientSetupResult::failure(message);
    }
    AgentClientSetupResult result;
    result.action = connected->action;
    result.configPath = connected->configPath;
    result.profile = connected->profile;
    result.verification = co_await verifyAgentHandoff(connected->profile, connected->configPath);
    co_await m_context.refreshAfterChange();
    result.message = setupMessage(result);
    result.isError = !connected->brokerAccepted || !result.verification->allPassed();
    co_return result;
}

QString AgentHandoff::setUpActionKey(const AgentClientDescriptor &client)
{
    return QStringLiteral("connectAgentApp:") + client.id;
}

QCoro::Task<std::optional<AgentClientSetupResult>> AgentHandoff::setUpAgentApp(AgentClientDescriptor client)
{
    const QString actionKey = setUpActionKey(client);
    if (!m_context.actions().begin(actionKey))
        co_return std::nullopt;
    const auto endAction = qScopeGuard([this, actionKey] { m_context.actions().end(actionKey); });
    if (m_setupResults.remove(client.id) > 0)
        emit setupResultsChanged();
    const AgentClientSetupResult result = co_await connectAgentApp(client);
    m_setupResults.insert(client.id, result);
    emit setupResultsChanged();
    if (!result.isError) {
        const bool verified = result.verification && result.verification->allPassed();
        m_context.status().setStatusMessage(QStringLiteral("Wrote TVN config for %1 (%2)")
                                                .arg(client.label, result.configPath.value_or(QStringLiteral("ok")))
                                            + (verified ? QStringLiteral(" and verified the handoff")
                                                        : QStringLiteral("; review the handoff receipt")));
    }
    co_return result;
}
