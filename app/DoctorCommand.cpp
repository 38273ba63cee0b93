#include "DoctorCommand.h"

#include "AgentHandoffVerificationReport.h"
#include "AppModel.h"
#include "HardwareKeyProvider.h"
#include "LocalAgentProfileStore.h"
#include "PamOwnerAuthentication.h"
#include "PresencePrompt.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

DoctorCommand::DoctorCommand(AppModel &model) : m_model(model)
{
}

void DoctorCommand::add(const QString &id, bool ok, const QString &detail, bool needed)
{
    m_checks.append({id, ok, detail, needed});
}

QCoro::Task<> DoctorCommand::run()
{
    co_await checkService();
    // GCC 12 mishandles co_await inside a condition: await into named values first.
    const bool verified = co_await checkBrokerIdentity();
    if (verified) {
        BrokerStateReads reads = co_await BrokerStateReads::read(*m_model.context());
        m_reads = std::move(reads);
    }
    checkVault();
    checkOperator();
    checkPlatform();
    checkAgentApps();
    co_await checkProfiles();
}

QCoro::Task<> DoctorCommand::checkService()
{
    ServiceSupervision *supervision = m_model.supervision();
    co_await supervision->refreshLocalServiceStatus();
    // What agents meet is the broker answering; the control script's view says how it runs.
    const bool answering = co_await supervision->probeBrokerHealthDirect();
    add(QStringLiteral("service"), answering,
        (answering ? QStringLiteral("The broker answers /health · ")
                   : QStringLiteral("The broker does not answer: turn Torvane on in the app · "))
            + supervision->localServiceStatusTitle() + QStringLiteral(" — ") + supervision->localServiceStatusDetail());
}

QCoro::Task<bool> DoctorCommand::checkBrokerIdentity()
{
    const QString url = m_model.identity().brokerURLString();
    const bool listening = co_await ServiceSupervision::loopbackPortIsListening(m_model.context()->brokerPort());
    if (!listening) {
        add(QStringLiteral("brokerIdentity"), false, QStringLiteral("Nothing listens at %1: turn Torvane on in the app").arg(url));
        co_return false;
    }
    const bool verified = co_await m_model.supervision()->ensureBrokerIdentityVerified();
    add(QStringLiteral("brokerIdentity"), verified,
        verified ? QStringLiteral("The listener at %1 is this installation's broker").arg(url)
                 : QStringLiteral("The listener at %1 is not this installation's broker: repair the service in the app").arg(url));
    co_return verified;
}

void DoctorCommand::checkVault()
{
    const QString status = m_reads && m_reads->health ? m_reads->health.value().vault.value_or(QString()) : QString();
    if (status == QLatin1StringView("unlocked"))
        add(QStringLiteral("vault"), true, QStringLiteral("Unlocked: agents can be served"));
    else if (status.isEmpty())
        add(QStringLiteral("vault"), false, QStringLiteral("Unknown: no verified broker answered"));
    else if (status == QLatin1StringView("unconfigured"))
        add(QStringLiteral("vault"), false, QStringLiteral("Not set up yet: set up the vault on Home in the app"));
    else
        add(QStringLiteral("vault"), false, QStringLiteral("The vault is %1: agents get 423 until you unlock it in the app").arg(status));
}

void DoctorCommand::checkOperator()
{
    if (!m_reads || !m_reads->operatorStatus) {
        add(QStringLiteral("operator"), false, QStringLiteral("Unknown: no verified broker answered"), false);
        return;
    }
    const OperatorStatus &status = m_reads->operatorStatus.value();
    add(QStringLiteral("operator"), true,
        QStringLiteral("Operator sessions %1 · %2 active · vault unlock method %3")
            .arg(status.enabled ? QStringLiteral("required") : QStringLiteral("off"))
            .arg(status.activeSessions)
            .arg(status.unlockMethod.isEmpty() ? QStringLiteral("none") : status.unlockMethod),
        false);
}

void DoctorCommand::checkPlatform()
{
    const HardwareKeyAvailability tpm = HardwareKeyProvider::systemDefault()->availability();
    add(QStringLiteral("tpm"), tpm.isAvailable(),
        tpm.isAvailable() ? QStringLiteral("A TPM can seal the vault's unlock secret and agent profiles")
                          : QStringLiteral("No usable TPM: profiles are kept as owner-only files instead"),
        false);
    PresencePrompt prompt;
    const auto pam = PamOwnerAuthentication::fromEnvironment(m_model.identity(), &prompt);
    const bool login = pam->canEvaluateOwnerAuthentication();
    add(QStringLiteral("pam"), login,
        login ? QStringLiteral("The system login can confirm it is you (PAM service %1)").arg(pam->serviceName())
              : QStringLiteral("The system login cannot be asked: hardware-sealed unlock stays off"),
        false);
}

void DoctorCommand::checkAgentApps()
{
    QStringList found;
    for (const AgentClientDescriptor &client : AgentClientDescriptor::all()) {
        if (!client.relPath)
            continue;
        QFile config(QDir(m_model.identity().homeDirectoryPath()).filePath(*client.relPath));
        if (!config.open(QIODevice::ReadOnly))
            continue;
        const auto entry = AgentClientConfigEntry::find(client, QString::fromUtf8(config.readAll()));
        if (!entry)
            continue;
        m_agentApps.append({client.id, client.label, config.fileName(), *entry});
        found << QStringLiteral("%1 (%2, profile %3)")
                     .arg(client.label, client.locationText(), entry->profile.isEmpty() ? QStringLiteral("none") : entry->profile);
    }
    add(QStringLiteral("agentApps"), !found.isEmpty(),
        found.isEmpty() ? QStringLiteral("No agent app has a tvn entry yet: use Set up on the Agent Keys screen")
                        : QStringLiteral("tvn entry in ") + found.join(QStringLiteral(", ")),
        false);
}

std::optional<QString> DoctorCommand::configNaming(const QString &profile) const
{
    for (const AgentApp &app : m_agentApps) {
        if (app.entry.profile == profile)
            return app.configPath;
    }
    return std::nullopt;
}

QCoro::Task<> DoctorCommand::checkProfiles()
{
    m_profiles = LocalAgentProfileStore(m_model.identity().stateDirectoryPath()).profileNames();
    if (m_profiles.isEmpty())
        add(QStringLiteral("profiles"), false, QStringLiteral("No agent profile yet: make an agent key in the app"), false);
    for (const QString &profile : std::as_const(m_profiles)) {
        const AgentHandoffVerificationReport report =
            co_await m_model.agentHandoff()->verifyAgentHandoff(profile, configNaming(profile));
        QStringList failed;
        for (const AgentHandoffVerificationStep &step : report.steps) {
            if (!step.ok)
                failed << step.title + QStringLiteral(": ") + step.detail;
        }
        add(QStringLiteral("handoff:") + profile, report.allPassed(),
            report.allPassed() ? QStringLiteral("Handoff verified (profile, wrapper, broker, --check, MCP session)")
                               : failed.join(QStringLiteral("; ")) + QStringLiteral(": use Verify on the Agent Keys screen"));
    }
}

bool DoctorCommand::healthy() const
{
    return std::all_of(m_checks.begin(), m_checks.end(), [](const Check &check) { return check.ok || !check.needed; });
}

QJsonObject DoctorCommand::identityJson() const
{
    const TVNRuntimeIdentity &identity = m_model.identity();
    return {{"app", identity.appName()},
            {"lane", TVNRuntimeLanes::rawValue(identity.lane())},
            {"bundleIdentifier", identity.bundleIdentifier()},
            {"homeDirectory", identity.homeDirectoryPath()},
            {"stateDirectory", identity.stateDirectoryPath()},
            {"brokerURL", identity.brokerURLString()},
            {"brokerPort", identity.brokerPort()}};
}

QJsonObject DoctorCommand::json() const
{
    QJsonArray checks;
    for (const Check &check : m_checks)
        checks.append(QJsonObject{{"id", check.id}, {"ok", check.ok}, {"needed", check.needed}, {"detail", check.detail}});
    QJsonArray apps;
    for (const AgentApp &app : m_agentApps)
        apps.append(QJsonObject{{"id", app.id}, {"label", app.label}, {"config", app.configPath}, {"profile", app.entry.profile}});
    QJsonObject report = identityJson();
    report.insert(QStringLiteral("checks"), checks);
    report.insert(QStringLiteral("agentApps"), apps);
    report.insert(QStringLiteral("profiles"), QJsonArray::fromStringList(m_profiles));
    report.insert(QStringLiteral("healthy"), healthy());
    return report;
}

QString DoctorCommand::text() const
{
    const TVNRuntimeIdentity &identity = m_model.identity();
    QStringList lines{QStringLiteral("%1 (%2 lane, %3) · %4 · state in %5")
                          .arg(identity.appName(), TVNRuntimeLanes::rawValue(identity.lane()), identity.bundleIdentifier(),
                               identity.brokerURLString(), identity.stateDirectoryPath())};
    for (const Check &check : m_checks) {
        const QString mark = check.ok ? QStringLiteral("ok") : (check.needed ? QStringLiteral("FAIL") : QStringLiteral("note"));
        lines << QStringLiteral("[%1] %2: %3").arg(mark, check.id, check.detail);
    }
    lines << (healthy() ? QStringLiteral("Everything an agent needs works.")
                        : QStringLiteral("Something an agent needs does not work: see the FAIL lines."));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
