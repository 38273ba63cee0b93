#pragma once

#include "TVNRuntimeLane.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <optional>

// Every path, port, label and keychain name that the app and its local service share, derived
// once from the app's metadata and the home directory. Immutable; compared field by field.
// Directory paths carry no trailing separator; the *URL accessors return directory URLs.
class TVNRuntimeIdentity
{
public:
    // Never fails: anything short of the exact shipping metadata selects the development lane.
    // `applicationSupport`, when given, replaces the user's data directory.
    static TVNRuntimeIdentity resolve(const QVariantMap &infoDictionary, const QString &homeDirectory,
                                      const std::optional<QString> &applicationSupport = std::nullopt);

    // The user's data directory: $XDG_DATA_HOME, else ~/.local/share.
    static QString defaultApplicationSupportDirectory(const QString &homeDirectory);

    TVNRuntimeLane lane() const { return m_lane; }
    QString appName() const { return m_appName; }
    QString bundleIdentifier() const { return m_bundleIdentifier; }
    QString serviceLabel() const { return m_serviceLabel; }
    qint64 brokerPort() const { return m_brokerPort; }
    QString keychainVaultService() const { return m_keychainVaultService; }
    QString operatorKeychainService() const { return m_operatorKeychainService; }

    QString homeDirectoryPath() const { return m_homeDirectory; }
    QString stateRootPath() const { return m_stateRoot; }
    QString stateDirectoryPath() const;
    QString profileStorePath() const;
    QString logDirectoryPath() const { return m_logDirectory; }
    QString applicationSupportRootPath() const { return m_applicationSupportRoot; }
    QString serviceRootPath() const;

    QUrl stateRootURL() const { return directoryURL(stateRootPath()); }
    QUrl stateDirectoryURL() const { return directoryURL(stateDirectoryPath()); }
    QUrl profileStoreURL() const { return directoryURL(profileStorePath()); }
    QUrl logDirectoryURL() const { return directoryURL(logDirectoryPath()); }
    QUrl applicationSupportRootURL() const { return directoryURL(applicationSupportRootPath()); }
    QUrl serviceRootURL() const { return directoryURL(serviceRootPath()); }
    QUrl brokerURL() const;
    // "http://127.0.0.1:<port>", exactly as the service and the agent configuration see it.
    QString brokerURLString() const;

    // The operator keychain service the broker reported wins in the production lane when it is
    // not blank; the development lane always keeps its own.
    QString resolvedOperatorKeychainService(const std::optional<QString> &brokerReported) const;

    bool operator==(const TVNRuntimeIdentity &other) const = default;

private:
    TVNRuntimeIdentity() = default;
    static QUrl directoryURL(const QString &path);

    TVNRuntimeLane m_lane = TVNRuntimeLane::development;
    QString m_appName;
    QString m_bundleIdentifier;
    QString m_serviceLabel;
    qint64 m_brokerPort = 0;
    QString m_keychainVaultService;
    QString m_operatorKeychainService;
    QString m_homeDirectory;
    QString m_stateRoot;
    QString m_logDirectory;
    QString m_applicationSupportRoot;
};
