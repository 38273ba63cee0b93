#pragma once

#include "TVNRuntimeIdentity.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// The status object the service control script prints. Status words are plain strings compared
// exactly; their meaning belongs to the supervision logic.
struct LocalServiceStatus {
    QString status;
    QString launchAgent;
    QString broker;
    QString dashboardUrl;
    std::optional<QString> runtimeLane;
    std::optional<QString> serviceLabel;
    std::optional<QString> appBundleId;
    std::optional<qint64> brokerPort;
    QString stateDir;
    std::optional<QString> profileStoreDir;
    QString logDir;
    std::optional<QString> applicationSupportRoot;
    std::optional<QString> serviceRoot;
    std::optional<QString> buildId;
    std::optional<QString> buildChannel;
    std::optional<QString> brokerServiceRoot;
    std::optional<QString> brokerBuildId;
    std::optional<QString> brokerBuildChannel;
    std::optional<bool> brokerMatchesInstall;
    std::optional<QStringList> brokerTrustedAppPaths;
    std::optional<bool> brokerTrustedAppPathsMatch;
    std::optional<QString> lastErrorSummary;

    bool operator==(const LocalServiceStatus &other) const = default;

    // None when a required key is missing or any key has the wrong type.
    static std::optional<LocalServiceStatus> fromJson(const QJsonObject &object);
    // The script may print log lines around the status: the last top-level object that decodes wins.
    static std::optional<LocalServiceStatus> fromScriptOutput(const QString &output);
    // A placeholder for when no status could be read: the identity's own values, broker not listening.
    static LocalServiceStatus unavailable(const QString &status, const TVNRuntimeIdentity &identity);
};
