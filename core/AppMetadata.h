#pragma once

#include "TVNRuntimeIdentity.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>

// What the installed app knows about itself: the install prefix (parent of the executable's
// directory), its resources (<prefix>/share/torvane) and the metadata in <resources>/Info.json.
class AppMetadata
{
public:
    AppMetadata(QVariantMap infoDictionary, QString prefixDirectory);
    // Reads <prefix>/share/torvane/Info.json; a missing or broken file is an empty dictionary.
    static AppMetadata forPrefix(const QString &prefixDirectory);

    // The running app, and the process-wide identity resolved from it once, on first use.
    // The application object must exist by then (the prefix comes from its executable path).
    static const AppMetadata &current();
    static const TVNRuntimeIdentity &runtimeIdentity();

    const QVariantMap &infoDictionary() const { return m_info; }
    QString prefixDirectory() const { return m_prefix; }
    QString resourcesDirectory() const;

    QString shortVersion() const;
    QString bundleVersion() const;
    // "TVNBuildId", else short version + "+" + bundle version.
    QString buildId() const;
    // "TVNBuildChannel", else the lane the metadata selects.
    QString buildChannel() const;
    // The first 12 characters of "TVNSourceSha", or "unknown".
    QString sourceShaDisplay() const;
    std::optional<QString> updateMode() const;
    // The product's own support page and address: "TVNSupportURL" and "TVNSupportEmail" when
    // packaging sets them, else the website's.
    QUrl supportPageURL() const;
    QString supportEmailAddress() const;
    // A draft the user reviews in their mail app: the support address and the build, never a secret.
    QUrl supportEmailDraft(const QString &appName) const;
    // "v0.0.1 (development, build 1)"
    QString versionLine() const;

private:
    std::optional<QString> nonEmptyString(const char *key) const;

    QVariantMap m_info;
    QString m_prefix;
};
