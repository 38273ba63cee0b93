#include "CrashReportExtractor.h"

#include "JsonReader.h"
#include "RuntimeContract.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
QJsonObject parsedObject(const QString &text, bool *ok)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    *ok = document.isObject();
    return document.object();
}

QString stringOf(const QJsonObject &object, const QString &key)
{
    return object.value(key).toString();
}

// The header's value, else the body's; empty when neither holds a string.
QString headerOrBody(const QJsonObject &header, const QString &headerKey, const QJsonObject &body, const QString &bodyKey)
{
    const QJsonValue fromHeader = header.value(headerKey);
    return fromHeader.isString() ? fromHeader.toString() : stringOf(body, bodyKey);
}
} // namespace

const QSet<QString> &CrashReportExtractor::appBundleIDs()
{
    static const QSet<QString> ids{RuntimeContract::production().bundleIdentifier,
                                   RuntimeContract::development().bundleIdentifier};
    return ids;
}

const QSet<QString> &CrashReportExtractor::appProcessNames()
{
    // The display names of both lanes and the executable's own name.
    static const QSet<QString> names{RuntimeContract::production().appName, RuntimeContract::development().appName,
                                     QStringLiteral("torvane")};
    return names;
}

CrashReportExtractor::CrashReportExtractor(CrashReportScrubber scrubber) : m_scrubber(std::move(scrubber)) {}

std::optional<CrashReportExtractor::Parts> CrashReportExtractor::split(const QString &reportText)
{
    const qsizetype lineFeed = reportText.indexOf(QLatin1Char('\n'));
    const QString headerText = lineFeed < 0 ? reportText : reportText.left(lineFeed);
    bool headerOk = false;
    Parts parts;
    parts.header = parsedObject(headerText, &headerOk);
    if (!headerOk)
        return std::nullopt;
    bool bodyOk = false;
    if (lineFeed >= 0)
        parts.body = parsedObject(reportText.mid(lineFeed + 1), &bodyOk);
    return parts;
}

bool CrashReportExtractor::belongsToApp(const QString &reportText)
{
    const std::optional<Parts> parts = split(reportText);
    return parts && belongsToApp(*parts);
}

bool CrashReportExtractor::belongsToApp(const Parts &parts)
{
    const auto isAppBundle = [](const QJsonObject &object) { return appBundleIDs().contains(stringOf(object, QStringLiteral("bundleID"))); };
    const auto isAppName = [](const QJsonObject &object, const QString &key) {
        const QJsonValue value = object.value(key);
        return value.isString() && appProcessNames().contains(value.toString());
    };
    return isAppBundle(parts.header) || isAppName(parts.header, QStringLiteral("app_name"))
        || isAppName(parts.header, QStringLiteral("name")) || isAppName(parts.body, QStringLiteral("procName"))
        || isAppBundle(parts.body);
}

std::optional<CrashReportSummary> CrashReportExtractor::extract(const QString &reportText,
                                                                const std::optional<QString> &expectedBundleID) const
{
    const std::optional<Parts> parts = split(reportText);
    if (!parts)
        return std::nullopt;
    const QJsonObject &header = parts->header;
    const QJsonObject &body = parts->body;
    const QString bundleID = headerOrBody(header, QStringLiteral("bundleID"), body, QStringLiteral("bundleID"));
    if (expectedBundleID && (bundleID.isEmpty() || bundleID != *expectedBundleID))
        return std::nullopt;

    const auto scrubbed = [this](const QString &text) { return m_scrubber.scrub(text); };
    const QJsonObject exception = body.value(QStringLiteral("exception")).toObject();
    const QJsonValue exceptionType = exception.value(QStringLiteral("type"));
    CrashReportSummary summary;
    summary.processName = scrubbed(headerOrBody(header, QStringLiteral("app_name"), body, QStringLiteral("procName")));
    summary.bundleID = scrubbed(bundleID);
    summary.exceptionType = scrubbed(exceptionType.isString() ? exceptionType.toString() : QStringLiteral("Unknown"));
    summary.exceptionSignal = scrubbed(stringOf(exception, QStringLiteral("signal")));
    summary.osVersion = scrubbed(stringOf(header, QStringLiteral("os_version")));
    summary.appVersion = scrubbed(stringOf(header, QStringLiteral("app_version")));
    summary.appBuild = scrubbed(stringOf(header, QStringLiteral("build_version")));
    summary.incidentID = scrubbed(stringOf(header, QStringLiteral("incident_id")));
    summary.crashedThreadIndex = crashedThreadIndex(body);
    for (const QString &frame : crashedThreadFrames(body, summary.crashedThreadIndex))
        summary.frames.append(scrubbed(frame));
    return summary;
}

int CrashReportExtractor::crashedThreadIndex(const QJsonObject &body)
{
    const QJsonArray threads = body.value(QStringLiteral("threads")).toArray();
    const std::optional<qint64> faulting = JsonReader::integerFrom(body.value(QStringLiteral("faultingThread")));
    if (faulting && *faulting >= 0 && *faulting < threads.size())
        return int(*faulting);
    for (qsizetype i = 0; i < threads.size(); ++i) {
        if (threads.at(i).toObject().value(QStringLiteral("triggered")).toBool())
            return int(i);
    }
    return 0;
}

QStringList CrashReportExtractor::crashedThreadFrames(const QJsonObject &body, int threadIndex)
{
    const QJsonArray threads = body.value(QStringLiteral("threads")).toArray();
    const QJsonArray frames = threads.at(threadIndex).toObject().value(QStringLiteral("frames")).toArray();
    const QJsonArray usedImages = body.value(QStringLiteral("usedImages")).toArray();
    QStringList texts;
    for (qsizetype i = 0; i < frames.size() && i < maxFrames; ++i)
        texts.append(frameText(frames.at(i).toObject(), usedImages));
    return texts;
}

QString CrashReportExtractor::frameText(const QJsonObject &frame, const QJsonArray &usedImages)
{
    const QString symbol = stringOf(frame, QStringLiteral("symbol"));
    if (!symbol.isEmpty()) {
        const std::optional<qint64> location = JsonReader::integerFrom(frame.value(QStringLiteral("symbolLocation")));
        return location ? symbol + QStringLiteral(" + ") + QString::number(*location) : symbol;
    }
    const qint64 offset = JsonReader::integerFrom(frame.value(QStringLiteral("imageOffset"))).value_or(0);
    const std::optional<qint64> imageIndex = JsonReader::integerFrom(frame.value(QStringLiteral("imageIndex")));
    if (imageIndex && *imageIndex >= 0 && *imageIndex < usedImages.size()) {
        const QString image = stringOf(usedImages.at(*imageIndex).toObject(), QStringLiteral("name"));
        if (!image.isEmpty())
            return image + QStringLiteral(" + ") + QString::number(offset);
    }
    return QStringLiteral("0x") + QString::number(offset, 16);
}
