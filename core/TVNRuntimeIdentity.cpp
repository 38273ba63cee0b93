#include "TVNRuntimeIdentity.h"

#include "RuntimeContract.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString joined(const QString &directory, const QString &name)
{
    return QDir::cleanPath(directory + QLatin1Char('/') + name);
}

} // namespace

TVNRuntimeIdentity TVNRuntimeIdentity::resolve(const QVariantMap &infoDictionary, const QString &homeDirectory,
                                               const std::optional<QString> &applicationSupport)
{
    const RuntimeContract &contract = RuntimeContract::production().metadataMatches(infoDictionary)
        ? RuntimeContract::production()
        : RuntimeContract::development();
    const QString home = QDir::cleanPath(homeDirectory);
    const QString support = applicationSupport ? QDir::cleanPath(*applicationSupport)
                                               : defaultApplicationSupportDirectory(home);

    TVNRuntimeIdentity identity;
    identity.m_lane = contract.lane;
    identity.m_appName = contract.appName;
    identity.m_bundleIdentifier = contract.bundleIdentifier;
    identity.m_serviceLabel = contract.serviceLabel;
    identity.m_brokerPort = contract.brokerPort;
    identity.m_keychainVaultService = contract.keychainVaultService;
    identity.m_operatorKeychainService = contract.operatorKeychainService;
    identity.m_homeDirectory = home;
    identity.m_stateRoot = joined(home, contract.stateRootName);
    identity.m_logDirectory = joined(home, QStringLiteral("Library/Logs/") + contract.logDirectoryName);
    identity.m_applicationSupportRoot = joined(support, contract.appName);
    return identity;
}

QString TVNRuntimeIdentity::defaultApplicationSupportDirectory(const QString &homeDirectory)
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    return locations.isEmpty() ? joined(homeDirectory, QStringLiteral(".local/share")) : QDir::cleanPath(locations.first());
}

QString TVNRuntimeIdentity::stateDirectoryPath() const
{
    return joined(m_stateRoot, QStringLiteral("state"));
}

QString TVNRuntimeIdentity::profileStorePath() const
{
    return joined(stateDirectoryPath(), QStringLiteral("agent-keys"));
}

QString TVNRuntimeIdentity::serviceRootPath() const
{
    return joined(m_applicationSupportRoot, QStringLiteral("Service"));
}

QUrl TVNRuntimeIdentity::brokerURL() const
{
    return QUrl(brokerURLString());
}

QString TVNRuntimeIdentity::brokerURLString() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(m_brokerPort);
}

QString TVNRuntimeIdentity::resolvedOperatorKeychainService(const std::optional<QString> &brokerReported) const
{
    if (m_lane == TVNRuntimeLane::production && brokerReported) {
        const QString trimmed = brokerReported->trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return m_operatorKeychainService;
}

QUrl TVNRuntimeIdentity::directoryURL(const QString &path)
{
    return QUrl::fromLocalFile(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/'));
}
