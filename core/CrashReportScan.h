#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

// Which crash reports in the reports folder are this app's and new: "*.ips" files whose name
// begins with "Torvane", not considered before, whose content names this app; newest first.
namespace CrashReportScan {

struct Candidate {
    QString fileName;
    QString path;
    QDateTime modified;
};

// A report larger than this is not ours (the handler writes a few dozen kilobytes at most).
constexpr qint64 maxReportBytes = 4 * 1024 * 1024;

// "<home>/Library/Logs/DiagnosticReports": the path the identity keeps on every platform.
QString reportsDirectory(const QString &homeDirectory);

QList<Candidate> newReports(const QString &directory, const QSet<QString> &seenNames);
// The report's text, or empty when it cannot be read as a regular file of sane size.
QString readReport(const QString &path);

} // namespace CrashReportScan
