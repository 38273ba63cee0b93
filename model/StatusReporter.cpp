#include "StatusReporter.h"

#include <QStringList>

#include <algorithm>

void StatusReporter::setStatusMessage(const QString &message)
{
    if (m_statusMessage == message)
        return;
    m_statusMessage = message;
    emit statusMessageChanged();
    publishBanner(message);
}

void StatusReporter::fail(const QString &message)
{
    m_lastActionError = message;
    emit lastActionErrorChanged();
    setStatusMessage(message);
}

void StatusReporter::publishBanner(const QString &message)
{
    ++m_statusSeq;
    StatusBanner::Kind kind = StatusBanner::Kind::error;
    if (m_lastActionError != message) {
        kind = classifyStatus(message);
        if (m_lastActionError) {
            m_lastActionError.reset();
            emit lastActionErrorChanged();
        }
    }
    m_statusBanner = StatusBanner{message, kind, m_statusSeq};
    emit statusBannerChanged();
}

StatusBanner::Kind StatusReporter::classifyStatus(const QString &message)
{
    static const QStringList successWords = {
        QStringLiteral("copied"),    QStringLiteral("checked"),           QStringLiteral("unlocked"),
        QStringLiteral("created and saved"), QStringLiteral("saved setup profile"), QStringLiteral("passed"),
        QStringLiteral("connected"),
    };
    static const QStringList workingPrefixes = {
        QStringLiteral("checking"),   QStringLiteral("creating"),  QStringLiteral("starting"),
        QStringLiteral("saving"),     QStringLiteral("linking"),   QStringLiteral("approving"),
        QStringLiteral("denying"),    QStringLiteral("revoking"),  QStringLiteral("stopping"),
        QStringLiteral("opening"),    QStringLiteral("requesting"), QStringLiteral("enabling"),
        QStringLiteral("disabling"),  QStringLiteral("exporting"), QStringLiteral("restoring"),
    };
    const QString lower = message.toLower();
    const auto contains = [&lower](const QString &word) { return lower.contains(word); };
    if (std::any_of(successWords.begin(), successWords.end(), contains) || lower.endsWith(QLatin1StringView(" ok")))
        return StatusBanner::Kind::success;
    const auto beginsWith = [&lower](const QString &word) { return lower.startsWith(word); };
    if (std::any_of(workingPrefixes.begin(), workingPrefixes.end(), beginsWith))
        return StatusBanner::Kind::working;
    return StatusBanner::Kind::info;
}
