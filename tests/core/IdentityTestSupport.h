#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QVariantMap>

// The metadata a shipping release carries: the only input that selects the production lane.
inline QVariantMap shippingInfo()
{
    return {
        {QStringLiteral("CFBundleName"), QStringLiteral("Torvane")},
        {QStringLiteral("CFBundleDisplayName"), QStringLiteral("Torvane")},
        {QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.torvane.mac")},
        {QStringLiteral("TVNRuntimeLane"), QStringLiteral("production")},
        {QStringLiteral("TVNServiceLabel"), QStringLiteral("com.torvane.local")},
        {QStringLiteral("TVNBrokerPort"), 47381},
        {QStringLiteral("TVNStateRootName"), QStringLiteral(".torvane")},
        {QStringLiteral("TVNLogDirectoryName"), QStringLiteral("Torvane")},
        {QStringLiteral("TVNApplicationSupportName"), QStringLiteral("Torvane")},
    };
}

// "NAME=value" assignments as an environment.
inline QProcessEnvironment environmentFrom(const QStringList &assignments)
{
    QProcessEnvironment environment;
    for (const QString &assignment : assignments)
        environment.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));
    return environment;
}
