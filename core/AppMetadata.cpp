#include "AppMetadata.h"

#include "InfoDictionary.h"
#include "RuntimeContract.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QUrlQuery>

AppMetadata::AppMetadata(QVariantMap infoDictionary, QString prefixDirectory)
    : m_info(std::move(infoDictionary)), m_prefix(QDir::cleanPath(prefixDirectory))
{
}

AppMetadata AppMetadata::forPrefix(const QString &prefixDirectory)
{
    const QString resources = QDir(prefixDirectory).filePath(QStringLiteral("share/torvane"));
    return AppMetadata(InfoDictionary::load(QDir(resources).filePath(QStringLiteral("Info.json"))), prefixDirectory);
}

const AppMetadata &AppMetadata::current()
{
    static const AppMetadata metadata =
        forPrefix(QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath());
    return metadata;
}

const TVNRuntimeIdentity &AppMetadata::runtimeIdentity()
{
    static const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve(current().infoDictionary(), QDir::homePath());
    return identity;
}

QString AppMetadata::resourcesDirectory() const
{
    return QDir(m_prefix).filePath(QStringLiteral("share/torvane"));
}

std::optional<QString> AppMetadata::nonEmptyString(const char *key) const
{
    const std::optional<QString> value = InfoDictionary::readString(m_info, QLatin1String(key));
    if (!value || value->isEmpty())
        return std::nullopt;
    return value;
}

QString AppMetadata::shortVersion() const
{
    return nonEmptyString("CFBundleShortVersionString").value_or(QStringLiteral("0.0.1"));
}

QString AppMetadata::bundleVersion() const
{
    return nonEmptyString("CFBundleVersion").value_or(QStringLiteral("1"));
}

QString AppMetadata::buildId() const
{
    return nonEmptyString("TVNBuildId").value_or(shortVersion() + QLatin1Char('+') + bundleVersion());
}

QString AppMetadata::buildChannel() const
{
    const TVNRuntimeLane lane = RuntimeContract::production().metadataMatches(m_info) ? TVNRuntimeLane::production
                                                                                     : TVNRuntimeLane::development;
    return nonEmptyString("TVNBuildChannel").value_or(TVNRuntimeLanes::rawValue(lane));
}

QString AppMetadata::sourceShaDisplay() const
{
    return nonEmptyString("TVNSourceSha").value_or(QStringLiteral("unknown")).left(12);
}

std::optional<QString> AppMetadata::updateMode() const
{
    return nonEmptyString("TVNUpdateMode");
}

QString AppMetadata::versionLine() const
{
    return QStringLiteral("v%1 (%2, build %3)").arg(shortVersion(), buildChannel(), bundleVersion());
}

QUrl AppMetadata::supportPageURL() const
{
    const QUrl configured(nonEmptyString("TVNSupportURL").value_or(QString()), QUrl::StrictMode);
    if (configured.isValid() && configured.scheme() == QLatin1StringView("https"))
        return configured;
    return QUrl(QStringLiteral("https://torvane.app/support"));
}

QUrl AppMetadata::supportEmailDraft(const QString &appName) const
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), appName + QStringLiteral(" support (build ") + buildId() + QLatin1Char(')'));
    query.addQueryItem(QStringLiteral("body"),
                       QStringLiteral("What happened:\n\nWhat I expected:\n\nBuild: %1, source %2\n\n"
                                      "Before sending, remove anything secret: never paste provider API keys, agent keys, "
                                      "one-time codes, account emails, or credential-store values.")
                           .arg(buildId(), sourceShaDisplay()));
    QUrl draft;
    draft.setScheme(QStringLiteral("mailto"));
    draft.setPath(supportEmailAddress());
    draft.setQuery(query.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return draft;
}

QString AppMetadata::supportEmailAddress() const
{
    const QString configured = nonEmptyString("TVNSupportEmail").value_or(QString()).trimmed();
    // One plain address: anything else could smuggle headers into the draft.
    static const QRegularExpression address(QStringLiteral("^[^@\\s?&=:/]+@[^@\\s?&=:/]+\\.[^@\\s?&=:/]+$"));
    return address.match(configured).hasMatch() ? configured : QStringLiteral("support@torvane.app");
}
