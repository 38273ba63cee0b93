#include "LocalServiceController.h"

#include "ChildProcessRunner.h"
#include "LocalServiceControlError.h"
#include "OwnedDirectoryRemoval.h"
#include "ServiceEnvironment.h"
#include "ServiceRootLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoro/QCoroFuture>

#include <algorithm>
#include <cmath>

namespace {
constexpr double longestTimeoutSeconds = 24 * 60 * 60;
} // namespace

struct LocalServiceController::Invocation {
    QString serviceRoot;
    NodeInvocation node;
    QProcessEnvironment environment;
};

LocalServiceController::LocalServiceController(LocalServiceContext context)
    : m_context(std::move(context))
{
}

std::optional<QString> LocalServiceController::resolvedServiceRoot() const
{
    return ServiceRootLocator(m_context).resolvedServiceRoot();
}

QString LocalServiceController::trustedAppPaths() const
{
    QStringList paths;
    if (TVNEnvironment(m_context.environment).legacyKeychainMode(m_context.identity.lane()))
        paths << m_context.executablePath << QStringLiteral("/usr/bin/security");
    if (const std::optional<QString> root = resolvedServiceRoot()) {
        const QString wrapper = QDir(*root).filePath(QStringLiteral("script/tvn-mcp-launch.sh"));
        const QFileInfo info(wrapper);
        if (info.isFile() && info.isReadable())
            paths << wrapper;
    }
    paths.removeDuplicates();
    return paths.join(QLatin1Char(','));
}

QString LocalServiceController::serviceUnitPath() const
{
    const TVNEnvironment environment(m_context.environment);
    const QString configHome = environment.value(QStringLiteral("XDG_CONFIG_HOME"))
                                   .value_or(QDir(m_context.identity.homeDirectoryPath()).filePath(QStringLiteral(".config")));
    return QDir(configHome).filePath(QStringLiteral("systemd/user/") + m_context.identity.serviceLabel()
                                     + QStringLiteral(".service"));
}

QString LocalServiceController::serviceRegistrationPath() const
{
    const QDir stateRoot(m_context.identity.stateRootPath());
    QFile record(stateRoot.filePath(QStringLiteral("service-install.json")));
    constexpr qint64 recordLimit = 64 * 1024;
    const bool detached = record.open(QIODevice::ReadOnly)
        && QJsonDocument::fromJson(record.read(recordLimit)).object().value(QStringLiteral("mode")).toString()
            == QLatin1StringView("detached");
    return detached ? stateRoot.filePath(QStringLiteral("run.lock")) : serviceUnitPath();
}

LocalServiceController::Invocation LocalServiceController::plan(LocalServiceCommand command, bool operatorSealedEnabled) const
{
    const ServiceRootLocator locator(m_context);
    const QString root = locator.prepare(command);
    const bool packaged = locator.isPackagedServiceRoot(root);
    const NodeInvocation node = NodeInvocation::resolve(m_context.resourcesDirectory, packaged);
    const ServiceEnvironment::Context environmentContext{m_context.resourcesDirectory, packaged, operatorSealedEnabled,
                                                         trustedAppPaths()};
    return {root, node, ServiceEnvironment::build(m_context.identity, m_context.environment, environmentContext)};
}

QCoro::Task<LocalServiceStatus> LocalServiceController::run(LocalServiceCommand command, std::optional<double> timeoutSeconds)
{
    const bool sealed = m_context.operatorSealedEnabled && m_context.operatorSealedEnabled();
    // Preparing may copy the service tree: keep it off the caller's thread.
    const Invocation invocation = co_await QtConcurrent::run([this, command, sealed] { return plan(command, sealed); });

    const QString word = LocalServiceCommands::argumentWord(command);
    const double defaultSeconds = LocalServiceCommands::defaultTimeoutSeconds(command, TVNEnvironment(m_context.environment));
    // A caller's NaN, infinite or negative time-out would make no deadline at all; one beyond a day
    // would overflow the clock and end the command at once.
    const double seconds = timeoutSeconds && std::isfinite(*timeoutSeconds) && *timeoutSeconds >= 0
        ? std::min(*timeoutSeconds, longestTimeoutSeconds)
        : defaultSeconds;
    QStringList arguments = invocation.node.argumentsPrefix;
    arguments << QDir(invocation.serviceRoot).filePath(QStringLiteral("scripts/local-service.mjs")) << word;
    ChildProcessRequest request;
    request.program = invocation.node.executable;
    request.arguments = arguments;
    request.workingDirectory = invocation.serviceRoot;
    request.environment = invocation.environment;
    request.timeout = std::chrono::milliseconds(qint64(seconds * 1000.0));
    request.commandWord = word;
    // Built outside the awaited expression: GCC 12 miscompiles braced lists inside co_await.
    const ChildProcessResult result = co_await ChildProcessRunner::run(std::move(request));
    if (result.exitCode != 0)
        throw LocalServiceControlError::commandFailed();
    std::optional<LocalServiceStatus> status = LocalServiceStatus::fromScriptOutput(result.standardOutput);
    if (!status)
        throw LocalServiceControlError::invalidStatus(result.standardOutput);
    co_return *status;
}

void LocalServiceController::removeOwnedDirectories() const
{
    const TVNRuntimeIdentity &identity = m_context.identity;
    const QStringList owned{identity.stateRootPath(), identity.logDirectoryPath(), identity.serviceRootPath()};
    for (const QString &target : owned)
        OwnedDirectoryRemoval::remove(target, owned, identity.homeDirectoryPath());
}

QCoro::Task<LocalServiceStatus> LocalServiceController::resetLocalVaultState()
{
    try {
        co_await run(LocalServiceCommand::uninstall);
    } catch (...) {
        // The state goes away regardless; a service that cannot uninstall must not block the reset.
    }
    co_await QtConcurrent::run([this] { removeOwnedDirectories(); });
    co_return co_await run(LocalServiceCommand::install);
}
