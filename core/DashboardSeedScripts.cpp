#include "DashboardSeedScripts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Inside the single-quoted literal of the session seed: backslashes first, then quotes.
QString singleQuotedContent(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return text;
}

QString firstRunLine(const QString &storage, bool completed)
{
    const QString call = completed ? QStringLiteral("setItem('%1', 'true')").arg(DashboardSeedScripts::firstRunStorageKey)
                                   : QStringLiteral("removeItem('%1')").arg(DashboardSeedScripts::firstRunStorageKey);
    return QStringLiteral("try { %1.%2; } catch (_) {}").arg(storage, call);
}
} // namespace

QString DashboardSeedScripts::javaScriptStringLiteral(const QString &text)
{
    const QByteArray encoded = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    if (encoded.size() < 4 || !encoded.startsWith("[\"") || !encoded.endsWith("\"]"))
        return QStringLiteral("''");
    return QString::fromUtf8(encoded.mid(1, encoded.size() - 2));
}

QString DashboardSeedScripts::sessionSeedScript(const QString &sessionId)
{
    if (sessionId.isEmpty())
        return QStringLiteral("sessionStorage.removeItem('%1');").arg(sessionStorageKey);
    return QStringLiteral("sessionStorage.setItem('%1','%2');").arg(sessionStorageKey, singleQuotedContent(sessionId));
}

QString DashboardSeedScripts::firstRunCompletionSeedScript(bool completed)
{
    return firstRunLine(QStringLiteral("sessionStorage"), completed) + QLatin1Char('\n')
        + firstRunLine(QStringLiteral("localStorage"), completed);
}

QString DashboardSeedScripts::dashboardUpdateScript(const QString &sessionId, bool firstRunCompleted)
{
    return sessionSeedScript(sessionId) + QLatin1Char('\n') + firstRunCompletionSeedScript(firstRunCompleted)
        + QStringLiteral("\nwindow.dispatchEvent(new CustomEvent('tvn-operator-session-updated', {\n  detail: { sessionId: ")
        + javaScriptStringLiteral(sessionId)
        + QStringLiteral(" }\n}));\nwindow.dispatchEvent(new CustomEvent('tvn-native-first-run-updated', {\n  detail: { completed: ")
        + (firstRunCompleted ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral(" }\n}));");
}

QString DashboardSeedScripts::actionFinishedScript(const QString &type, bool ok, const QString &message)
{
    const QJsonObject detail{{QStringLiteral("type"), type}, {QStringLiteral("ok"), ok}, {QStringLiteral("message"), message}};
    // JSON text is valid JavaScript source (U+2028 and U+2029 included, since ES2019).
    const QString literal = QString::fromUtf8(QJsonDocument(detail).toJson(QJsonDocument::Compact));
    return QStringLiteral("window.dispatchEvent(new CustomEvent('tvn-native-action-finished', { detail: %1 }));").arg(literal);
}
