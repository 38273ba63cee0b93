#pragma once

#include "CrashReportScrubber.h"
#include "CrashReportSummary.h"

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <optional>

// Reads a crash report in the two-part layout (a one-line JSON header, a line feed, a JSON body)
// that the app's fatal-signal handler writes, and turns it into the anonymous summary.
class CrashReportExtractor
{
public:
    static constexpr int maxFrames = 100;
    // The bundle identifiers and process names of both lanes: a development build's reports are
    // its own too.
    static const QSet<QString> &appBundleIDs();
    static const QSet<QString> &appProcessNames();

    explicit CrashReportExtractor(CrashReportScrubber scrubber);

    // None when the header is not a JSON object, or when `expectedBundleID` is given and the
    // report names another (or none).
    std::optional<CrashReportSummary> extract(const QString &reportText,
                                              const std::optional<QString> &expectedBundleID = std::nullopt) const;
    // Whether the report was written for this app (either lane).
    static bool belongsToApp(const QString &reportText);

private:
    struct Parts {
        QJsonObject header;
        QJsonObject body;
    };
    static std::optional<Parts> split(const QString &reportText);
    static bool belongsToApp(const Parts &parts);
    static int crashedThreadIndex(const QJsonObject &body);
    static QStringList crashedThreadFrames(const QJsonObject &body, int threadIndex);
    static QString frameText(const QJsonObject &frame, const QJsonArray &usedImages);

    CrashReportScrubber m_scrubber;
};
