#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The small anonymous summary of one crash that may leave this computer: no file contents, no
// keys, home paths already scrubbed.
struct CrashReportSummary {
    QString processName;
    QString bundleID;
    QString exceptionType;
    QString exceptionSignal;
    QString osVersion;
    QString appVersion;
    QString appBuild;
    int crashedThreadIndex = 0;
    QStringList frames;
    QString incidentID;

    QJsonObject jsonPayload() const;
    bool operator==(const CrashReportSummary &) const = default;
};
