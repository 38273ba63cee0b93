#include "CrashReportScrubber.h"

#include <QDir>
#include <QRegularExpression>

namespace {
// A home path ends where the path component ends.
const QString componentEnd = QStringLiteral("(?=[/\\s\"']|$)");

QString replaced(QString text, const QRegularExpression &pattern, const QString &replacement)
{
    return text.replace(pattern, replacement);
}
} // namespace

CrashReportScrubber::CrashReportScrubber(QString homeDirectory)
    : m_home(QDir::cleanPath(homeDirectory))
{
    if (m_home == QLatin1StringView("/") || m_home == QLatin1StringView("."))
        m_home.clear();
}

QString CrashReportScrubber::scrub(const QString &text) const
{
    static const QRegularExpression macHome(QStringLiteral("/Users/[^/\\s]+"));
    static const QRegularExpression linuxHome(QStringLiteral("/home/[^/\\s]+"));
    static const QRegularExpression rootHome(QStringLiteral("(?<![\\w.-])/root") + componentEnd);
    QString scrubbed = text;
    // The user's own home first: it may lie anywhere (/var/lib/…, /srv/…), not only under /home.
    if (!m_home.isEmpty()) {
        const QRegularExpression ownHome(QRegularExpression::escape(m_home) + componentEnd);
        scrubbed = replaced(scrubbed, ownHome, QStringLiteral("/home/<user>"));
    }
    scrubbed = replaced(scrubbed, macHome, QStringLiteral("/Users/<user>"));
    scrubbed = replaced(scrubbed, linuxHome, QStringLiteral("/home/<user>"));
    return replaced(scrubbed, rootHome, QStringLiteral("/home/<user>"));
}
