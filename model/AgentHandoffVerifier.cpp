#include "AgentHandoffVerifier.h"

#include "BrokerClient.h"
#include "BrokerHealth.h"
#include "BrokerProbes.h"
#include "StrictUtf8.h"
#include "TVNBrokerURLTrust.h"
#include "WrapperMcpSession.h"

#include <QCoroFuture>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent>

const QString AgentHandoffVerifier::wrapperFileName = QStringLiteral("tvn-mcp-launch.sh");

namespace {
using Kind = AgentHandoffVerificationStep::Kind;
using Step = AgentHandoffVerificationStep;
const QString serviceWrapper = QStringLiteral("Service/script/tvn-mcp-launch.sh");
const QString signerName = QStringLiteral("tvn-pop-signer");
constexpr int checkoutSearchDepth = 8;

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool isReadableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

// The install prefix or one of its ancestors holding package.json and an executable wrapper.
std::optional<QString> developmentCheckoutWrapper(const QString &prefixDirectory)
{
    QDir directory(QDir::cleanPath(prefixDirectory));
    for (int depth = 0; depth <= checkoutSearchDepth; ++depth) {
        const QString wrapper = directory.filePath(QStringLiteral("script/") + AgentHandoffVerifier::wrapperFileName);
        if (isReadableFile(directory.filePath(QStringLiteral("package.json"))) && isExecutableFile(wrapper))
            return wrapper;
        if (!directory.cdUp())
            break;
    }
    return std::nullopt;
}

AgentHandoffVerifier::ProfileInspection inspectStoredProfile(LocalAgentProfileStore store, QString profile)
{
    const QString fallbackPath = store.profileDirectory() + QLatin1Char('/') + profile + QStringLiteral(".key");
    try {
        const QString path = store.keyPath(profile);
        const bool present = store.hasTorvane(profile);
        const QString detail = (present ? QStringLiteral("Owner-only setup profile exists at ")
                                        : QStringLiteral("No local setup profile found at "))
            + path;
        return {Step::make(Kind::profilePresent, present, detail), path};
    } catch (const std::exception &failure) {
        return {Step::make(Kind::profilePresent, false, QString::fromUtf8(failure.what())), fallbackPath};
    }
}

QString decoded(const QByteArray &bytes)
{
    return strictUtf8(bytes).value_or(QString());
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(1000))
        process.kill();
}
} // namespace

QString AgentHandoffVerifier::resolveWrapperCommand(const TVNRuntimeIdentity &identity, const QString &prefixDirectory)
{
    QStringList candidates{
        QDir(prefixDirectory).filePath(QStringLiteral("share/torvane/") + serviceWrapper),
        QDir(identity.serviceRootPath()).filePath(QStringLiteral("script/") + wrapperFileName),
        QDir(identity.homeDirectoryPath()).filePath(QStringLiteral(".local/share/torvane/") + serviceWrapper),
        QStringLiteral("/usr/local/share/torvane/") + serviceWrapper,
        QStringLiteral("/usr/share/torvane/") + serviceWrapper,
    };
    if (identity.lane() == TVNRuntimeLane::development) {
        if (const std::optional<QString> checkout = developmentCheckoutWrapper(prefixDirectory))
            candidates.prepend(*checkout);
    }
    for (const QString &candidate : candidates) {
        if (isReadableFile(candidate))
            return QDir::cleanPath(candidate);
    }
    return wrapperFileName;
}

std::optional<QString> AgentHandoffVerifier::resolveSignerPath(const QString &resourcesDirectory,
                                                               const QProcessEnvironment &environment)
{
    const QString bundled = QDir(resourcesDirectory).absoluteFilePath(QStringLiteral("bin/") + signerName);
    if (!resourcesDirectory.isEmpty() && isExecutableFile(bundled))
        return QDir::cleanPath(bundled);
    const QString named = environment.value(QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH")).trimmed();
    if (QDir::isAbsolutePath(named) && isExecutableFile(named))
        return QDir::cleanPath(named);
    return std::nullopt;
}

QCoro::Task<AgentHandoffVerifier::ProfileInspection> AgentHandoffVerifier::inspectProfile(QString profile,
                                                                                        LocalAgentProfileStore store)
{
    co_return co_await QtConcurrent::run(&inspectStoredProfile, store, profile);
}

AgentHandoffVerifier::WrapperInspection AgentHandoffVerifier::inspectWrapper(const QString &command)
{
    if (!command.contains(QLatin1Char('/'))) {
        return {Step::make(Kind::wrapperExecutable, true,
                           QStringLiteral("Using PATH wrapper command ") + command
                               + QStringLiteral("; the read-only smoke will prove whether it launches.")),
                true};
    }
    if (isExecutableFile(command))
        return {Step::make(Kind::wrapperExecutable, true, QStringLiteral("Executable wrapper at ") + command), true};
    if (isReadableFile(command))
        return {Step::make(Kind::wrapperExecutable, false, QStringLiteral("Wrapper found but is not executable: ") + command),
                false};
    return {Step::make(Kind::wrapperExecutable, false, QStringLiteral("Wrapper not readable at ") + command), false};
}

AgentHandoffVerificationStep AgentHandoffVerifier::inspectConfig(const QString &path)
{
    const bool present = QFileInfo::exists(path);
    return Step::make(Kind::configWritten, present,
                      (present ? QStringLiteral("TVN MCP config is present at ") : QStringLiteral("Config file was not found at "))
                          + path);
}

QCoro::Task<AgentHandoffVerificationStep> AgentHandoffVerifier::inspectBrokerHealth(QUrl brokerURL)
{
    const QString url = brokerURL.toString();
    if (!isLoopback(brokerURL)) {
        co_return Step::make(Kind::brokerHealth, false,
                             QStringLiteral("Broker health check only runs against loopback URLs; current URL is ") + url);
    }
    const BrokerResult<BrokerHealth> health = co_await BrokerClient(6.0).get<BrokerHealth>(brokerURL, QStringLiteral("/health"));
    if (!health) {
        co_return Step::make(Kind::brokerHealth, false,
                             QStringLiteral("GET /health failed at %1: %2").arg(url, health.failure().description()));
    }
    if (!BrokerProbes::isGenuineHealthyBroker(health.value()))
        co_return Step::make(Kind::brokerHealth, false, QStringLiteral("GET /health responded but did not report the Torvane broker"));
    co_return Step::make(Kind::brokerHealth, true, QStringLiteral("GET /health responded as Torvane at ") + url);
}

WrapperExecutionResult AgentHandoffVerifier::executeWrapperCheck(const WrapperInvocation &invocation,
                                                                 std::chrono::milliseconds budget)
{
    QProcess process;
    process.setProgram(invocation.program());
    process.setArguments(invocation.arguments(true));
    process.setProcessEnvironment(invocation.environment());
    process.start();
    if (!process.waitForStarted())
        return {std::nullopt, process.errorString(), false};
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    bool timedOut = false;
    while (process.state() != QProcess::NotRunning) {
        if (sinceLaunch.elapsed() >= budget.count()) {
            stop(process);
            timedOut = true;
            break;
        }
        process.waitForFinished(static_cast<int>(pollInterval.count()));
    }
    process.waitForFinished();
    const QString output = decoded(process.readAllStandardOutput());
    return {WrapperCheckPayload::parse(output), decoded(process.readAllStandardError()), timedOut};
}

AgentHandoffVerificationStep AgentHandoffVerifier::judgeWrapperCheck(const WrapperExecutionResult &result,
                                                                     const QString &profile)
{
    const QString standardError = result.standardError.trimmed();
    if (!result.payload && result.timedOut)
        return Step::make(Kind::readOnlySmoke, false, QStringLiteral("wrapper --check timed out without printing parseable JSON"));
    if (!result.payload) {
        const QString detail = QStringLiteral("wrapper --check did not print parseable JSON");
        return Step::make(Kind::readOnlySmoke, false, standardError.isEmpty() ? detail : detail + QStringLiteral(": ") + standardError);
    }
    const WrapperCheckPayload &payload = *result.payload;
    if (payload.passed()) {
        return Step::make(Kind::readOnlySmoke, true,
                          QStringLiteral("wrapper --check reached the broker and the broker accepted profile ") + profile);
    }
    QString message = payload.reason.value_or(QString());
    if (message.isEmpty())
        message = payload.hint.value_or(QString());
    if (message.isEmpty())
        message = standardError;
    const QString detail = QStringLiteral("wrapper --check did not pass (status=%1)").arg(payload.status.value_or(QStringLiteral("unknown")));
    return Step::make(Kind::readOnlySmoke, false, message.isEmpty() ? detail : detail + QStringLiteral(": ") + message);
}

QCoro::Task<AgentHandoffVerificationStep> AgentHandoffVerifier::runWrapperCheck(WrapperInvocation invocation, bool canRun)
{
    if (!canRun)
        co_return Step::make(Kind::readOnlySmoke, false, QStringLiteral("Skipped until the local profile and wrapper are available"));
    const WrapperExecutionResult result = co_await QtConcurrent::run(&executeWrapperCheck, invocation, wrapperBudget);
    co_return judgeWrapperCheck(result, invocation.profile);
}

QCoro::Task<AgentHandoffVerificationStep> AgentHandoffVerifier::inspectMcpSession(WrapperInvocation invocation, bool canRun)
{
    if (!canRun)
        co_return Step::make(Kind::mcpSession, false, QStringLiteral("Skipped until the read-only smoke passes"));
    co_return co_await QtConcurrent::run(&WrapperMcpSession::probe, invocation, wrapperBudget);
}

bool AgentHandoffVerifier::isLoopback(const QUrl &url)
{
    const QString host = TVNBrokerURLTrust::normalizedHost(url.host());
    return host == QLatin1StringView("127.0.0.1") || host == QLatin1StringView("localhost") || host == QLatin1StringView("::1");
}
