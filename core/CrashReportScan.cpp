#include "CrashReportScan.h"

#include "CrashReportExtractor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace CrashReportScan {

QString reportsDirectory(const QString &homeDirectory)
{
    return QDir(homeDirectory).filePath(QStringLiteral("Library/Logs/DiagnosticReports"));
}

QList<Candidate> newReports(const QString &directory, const QSet<QString> &seenNames)
{
    QList<Candidate> found;
    const QFileInfoList entries = QDir(directory).entryInfoList({QStringLiteral("*.ips")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (!entry.fileName().startsWith(QLatin1StringView("Torvane")) || seenNames.contains(entry.fileName()))
            continue;
        if (!CrashReportExtractor::belongsToApp(readReport(entry.filePath())))
            continue;
        found.append({entry.fileName(), entry.filePath(), entry.lastModified()});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate &a, const Candidate &b) { return a.modified > b.modified; });
    return found;
}

QString readReport(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.size() > maxReportBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace CrashReportScan
