#include "CrashReportSummary.h"

#include <QJsonArray>

QJsonObject CrashReportSummary::jsonPayload() const
{
    return {{QStringLiteral("processName"), processName},
            {QStringLiteral("bundleID"), bundleID},
            {QStringLiteral("exceptionType"), exceptionType},
            {QStringLiteral("exceptionSignal"), exceptionSignal},
            {QStringLiteral("osVersion"), osVersion},
            {QStringLiteral("appVersion"), appVersion},
            {QStringLiteral("appBuild"), appBuild},
            {QStringLiteral("crashedThreadIndex"), crashedThreadIndex},
            {QStringLiteral("frames"), QJsonArray::fromStringList(frames)},
            {QStringLiteral("incidentID"), incidentID}};
}
