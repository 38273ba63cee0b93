#include "DoctorCommand.h"

#include "AgentClientDescriptor.h"
#include "AgentHandoffVerificationReport.h"
#include "AppModel.h"
#include "BrokerHealth.h"
#include "BrokerPaths.h"
#include "HardwareKeyProvider.h"
#include "PamOwnerAuthentication.h"
#include "PresencePrompt.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

namespace {
// The entry name every agent app config carries for Torvane, in JSON, TOML or YAML.
const QRegularExpression tvnEntry(QStringLiteral(R"((\"tvn\"\s*:)|(\[mcp_servers\.tvn\])|(^\s*tvn\s*:))"),
                                  QRegularExpression::MultilineOption);
} // namespace

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
    checkVault();
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
        (answering ? QStringLiteral("The broker answers /health · ") : QStringLiteral("The broker does not answer · "))
            + supervision->localServiceStatusTitle() + QStringLiteral(" — ") + supervision->localServiceStatusDetail());
    const QString url = m_model.identity().brokerURLString();
    const bool listening = co_await ServiceSupervision::loopbackPortIsListening(m_model.context()->brokerPort());
    if (!listening) {
        add(QStringLiteral("brokerIdentity"), false, QStringLiteral("Nothing listens at %1: turn Torvane on in the app").arg(url));
        co_return;
    }
    const bool verified = co_await supervision->ensureBrokerIdentityVerified();
    add(QStringLiteral("brokerIdentity"), verified,
        verified ? QStringLiteral("The listener at %1 is this installation's broker").arg(url)
                 : QStringLiteral("The listener at %1 is not this installation's broker: repair the service in the app").arg(url));
    if (!verified)
        co_return;
    const BrokerResult<BrokerHealth> health =
        co_await m_model.context()->client().get<BrokerHealth>(m_model.context()->brokerURL(), BrokerPaths::health);
    m_vaultStatus = health ? health.value().vault.value_or(QString()) : QString();
}

void DoctorCommand::checkVault()
{
    if (m_vaultStatus.isEmpty()) {
        add(QStringLiteral("vault"), false, QStringLiteral("Unknown: the broker did not answer"));
        return;
    }
    const bool unlocked = m_vaultStatus == QLatin1StringView("unlocked");
    add(QStringLiteral("vault"), unlocked,
        unlocked ? QStringLiteral("Unlocked: agents can be served")
                 : QStringLiteral("The vault is %1: agents get 423 until you unlock it in the app").arg(m_vaultStatus));
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
    QStringList withEntry;
    for (const AgentClientDescriptor &client : AgentClientDescriptor::all()) {
        if (!client.relPath)
            continue;
        QFile config(QDir(m_model.identity().homeDirectoryPath()).filePath(*client.relPath));
        if (config.open(QIODevice::ReadOnly) && tvnEntry.match(QString::fromUtf8(config.readAll())).hasMatch())
            withEntry << client.label + QStringLiteral(" (~/") + *client.relPath + QLatin1Char(')');
    }
    add(QStringLiteral("agentApps"), !withEntry.isEmpty(),
        withEntry.isEmpty() ? QStringLiteral("No agent app has a tvn entry yet: use Set up on the Agent Keys screen")
                            : QStringLiteral("tvn entry in: ") + withEntry.join(QStringLiteral(", ")),
        false);
}

QCoro::Task<> DoctorCommand::checkProfiles()
{
    const QDir profiles(m_model.identity().profileStorePath());
    QStringList names;
    for (const QString &file : profiles.entryList({QStringLiteral("*.key"), QStringLiteral("*.sealed")}, QDir::Files))
        names << file.section(QLatin1Char('.'), 0, -2);
    names.removeDuplicates();
    if (names.isEmpty())
        add(QStringLiteral("profiles"), false, QStringLiteral("No agent profile yet: make an agent key in the app"), false);
    for (const QString &profile : names) {
        const AgentHandoffVerificationReport report = co_await m_model.agentHandoff()->verifyAgentHandoff(profile, std::nullopt);
        QStringList failed;
        for (const AgentHandoffVerificationStep &step : report.steps) {
            if (!step.ok)
                failed << step.title + QStringLiteral(": ") + step.detail;
        }
        add(QStringLiteral("handoff:") + profile, report.allPassed(),
            report.allPassed() ? QStringLiteral("Handoff verified (profile, wrapper, broker, --check, MCP session)")
                               : failed.join(QStringLiteral("; ")));
    }
}

bool DoctorCommand::healthy() const
{
    return std::all_of(m_checks.begin(), m_checks.end(), [](const Check &check) { return check.ok || !check.needed; });
}

QJsonObject DoctorCommand::json() const
{
    const TVNRuntimeIdentity &identity = m_model.identity();
    QJsonArray checks;
    for (const Check &check : m_checks)
        checks.append(QJsonObject{{"id", check.id}, {"ok", check.ok}, {"needed", check.needed}, {"detail", check.detail}});
    return {{"app", identity.appName()},
            {"lane", TVNRuntimeLanes::rawValue(identity.lane())},
            {"bundleIdentifier", identity.bundleIdentifier()},
            {"brokerURL", identity.brokerURLString()},
            {"stateDirectory", identity.stateDirectoryPath()},
            {"checks", checks},
            {"healthy", healthy()}};
}

QString DoctorCommand::text() const
{
    const TVNRuntimeIdentity &identity = m_model.identity();
    QStringList lines{QStringLiteral("%1 (%2 lane) · %3").arg(identity.appName(), TVNRuntimeLanes::rawValue(identity.lane()), identity.brokerURLString())};
    for (const Check &check : m_checks) {
        const QString mark = check.ok ? QStringLiteral("ok") : (check.needed ? QStringLiteral("FAIL") : QStringLiteral("note"));
        lines << QStringLiteral("[%1] %2: %3").arg(mark, check.id, check.detail);
    }
    lines << (healthy() ? QStringLiteral("Everything an agent needs works.")
                        : QStringLiteral("Something an agent needs does not work: see the FAIL lines."));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
