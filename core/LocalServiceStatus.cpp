#include "LocalServiceStatus.h"

#include "JsonReader.h"
#include "TopLevelJsonScanner.h"

#include <QJsonDocument>

std::optional<LocalServiceStatus> LocalServiceStatus::fromJson(const QJsonObject &object)
{
    JsonReader r(object);
    LocalServiceStatus s;
    s.status = r.requiredString(QStringLiteral("status"));
    s.launchAgent = r.requiredString(QStringLiteral("launchAgent"));
    s.broker = r.requiredString(QStringLiteral("broker"));
    s.dashboardUrl = r.requiredString(QStringLiteral("dashboardUrl"));
    s.runtimeLane = r.optionalString(QStringLiteral("runtimeLane"));
    s.serviceLabel = r.optionalString(QStringLiteral("serviceLabel"));
    s.appBundleId = r.optionalString(QStringLiteral("appBundleId"));
    s.brokerPort = r.optionalInteger(QStringLiteral("brokerPort"));
    s.stateDir = r.requiredString(QStringLiteral("stateDir"));
    s.profileStoreDir = r.optionalString(QStringLiteral("profileStoreDir"));
    s.logDir = r.requiredString(QStringLiteral("logDir"));
    s.applicationSupportRoot = r.optionalString(QStringLiteral("applicationSupportRoot"));
    s.serviceRoot = r.optionalString(QStringLiteral("serviceRoot"));
    s.buildId = r.optionalString(QStringLiteral("buildId"));
    s.buildChannel = r.optionalString(QStringLiteral("buildChannel"));
    s.brokerServiceRoot = r.optionalString(QStringLiteral("brokerServiceRoot"));
    s.brokerBuildId = r.optionalString(QStringLiteral("brokerBuildId"));
    s.brokerBuildChannel = r.optionalString(QStringLiteral("brokerBuildChannel"));
    s.brokerMatchesInstall = r.optionalBool(QStringLiteral("brokerMatchesInstall"));
    s.brokerTrustedAppPaths = r.optionalStringList(QStringLiteral("brokerTrustedAppPaths"));
    s.brokerTrustedAppPathsMatch = r.optionalBool(QStringLiteral("brokerTrustedAppPathsMatch"));
    s.lastErrorSummary = r.optionalString(QStringLiteral("lastErrorSummary"));
    if (!r.ok())
        return std::nullopt;
    return s;
}

std::optional<LocalServiceStatus> LocalServiceStatus::fromScriptOutput(const QString &output)
{
    const QStringList candidates = topLevelJsonObjects(output);
    for (auto it = candidates.crbegin(); it != candidates.crend(); ++it) {
        const QJsonDocument document = QJsonDocument::fromJson(it->toUtf8());
        if (!document.isObject())
            continue;
        if (std::optional<LocalServiceStatus> status = fromJson(document.object()))
            return status;
    }
    return std::nullopt;
}

LocalServiceStatus LocalServiceStatus::unavailable(const QString &status, const TVNRuntimeIdentity &identity)
{
    LocalServiceStatus s;
    s.status = status;
    s.launchAgent = QStringLiteral("unknown");
    s.broker = QStringLiteral("not_listening");
    s.dashboardUrl = identity.brokerURLString();
    s.runtimeLane = TVNRuntimeLanes::rawValue(identity.lane());
    s.serviceLabel = identity.serviceLabel();
    s.appBundleId = identity.bundleIdentifier();
    s.brokerPort = identity.brokerPort();
    s.stateDir = identity.stateDirectoryPath();
    s.profileStoreDir = identity.profileStorePath();
    s.logDir = identity.logDirectoryPath();
    s.applicationSupportRoot = identity.applicationSupportRootPath();
    return s;
}
