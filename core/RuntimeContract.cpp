#include "RuntimeContract.h"

#include "InfoDictionary.h"

namespace {

// Canonically equivalent strings are equal; case and every other difference count.
bool sameText(const std::optional<QString> &value, const QString &expected)
{
    return value && value->normalized(QString::NormalizationForm_C) == expected.normalized(QString::NormalizationForm_C);
}

} // namespace

const RuntimeContract &RuntimeContract::production()
{
    static const RuntimeContract contract{
        TVNRuntimeLane::production,
        QStringLiteral("Torvane"),
        QStringLiteral("com.torvane.mac"),
        QStringLiteral("com.torvane.local"),
        47381,
        QStringLiteral(".torvane"),
        QStringLiteral("Torvane"),
        QStringLiteral("Torvane"),
        QStringLiteral("local.switchyard.vault"),
        QStringLiteral("Torvane Operator Unlock"),
    };
    return contract;
}

const RuntimeContract &RuntimeContract::development()
{
    static const RuntimeContract contract{
        TVNRuntimeLane::development,
        QStringLiteral("Torvane Dev"),
        QStringLiteral("com.torvane.mac.dev"),
        QStringLiteral("com.torvane.local.dev"),
        47382,
        QStringLiteral(".torvane-dev"),
        QStringLiteral("TorvaneDev"),
        QStringLiteral("Torvane Dev"),
        QStringLiteral("local.switchyard.vault.dev"),
        QStringLiteral("Torvane Dev Operator Unlock"),
    };
    return contract;
}

bool RuntimeContract::metadataMatches(const QVariantMap &info) const
{
    using InfoDictionary::readString;
    const auto matches = [&](const char *key, const QString &expected) {
        return sameText(readString(info, QLatin1String(key)), expected);
    };
    return matches("TVNRuntimeLane", TVNRuntimeLanes::rawValue(lane))
        && matches("CFBundleIdentifier", bundleIdentifier)
        && matches("CFBundleName", appName)
        && matches("CFBundleDisplayName", appName)
        && matches("TVNServiceLabel", serviceLabel)
        && InfoDictionary::readInteger(info, QStringLiteral("TVNBrokerPort")) == std::optional<qint64>(brokerPort)
        && matches("TVNStateRootName", stateRootName)
        && matches("TVNLogDirectoryName", logDirectoryName)
        && matches("TVNApplicationSupportName", applicationSupportName);
}
