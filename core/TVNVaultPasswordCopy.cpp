#include "TVNVaultPasswordCopy.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
// The broker's own text: the "error" member when the message is a JSON object carrying one.
QString brokerText(const QString &message)
{
    if (!message.startsWith(QLatin1Char('{')))
        return message;
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8());
    const QJsonValue error = document.object().value(QStringLiteral("error"));
    return document.isObject() && error.isString() ? error.toString() : message;
}

bool containsAny(const QString &text, std::initializer_list<const char *> needles)
{
    for (const char *needle : needles) {
        if (text.contains(QLatin1StringView(needle)))
            return true;
    }
    return false;
}
} // namespace

QString TVNVaultPasswordCopy::message(std::optional<qint64> statusCode, const QString &message)
{
    const QString text = brokerText(message);
    const QString lower = text.toLower();
    const bool refused = statusCode == 401 || statusCode == 403;
    if (containsAny(lower, {"invalid local operator passphrase", "incorrect vault passphrase"})
        || (refused && lower.contains(QLatin1StringView("passphrase"))))
        return QStringLiteral("That password didn't unlock the vault. Check it and try again.");
    if (containsAny(lower, {"vault passphrase must be at least", "passphrase must be at least"}))
        return QStringLiteral("TVN password must be at least 8 characters.");
    if (containsAny(lower, {"vault passphrases do not match", "passphrases do not match"}))
        return QStringLiteral("Passwords do not match.");
    if (lower.contains(QLatin1StringView("operator passphrase is required")))
        return QStringLiteral("Enter your TVN password to unlock the local vault.");
    if (lower.contains(QLatin1StringView("local broker identity could not be verified")))
        return QStringLiteral("Torvane could not verify its local service. Use Repair & Restart, then try again.");
    if (lower.startsWith(QLatin1Char('{')) || lower.contains(QLatin1StringView("broker request failed with http")))
        return QStringLiteral("The local service couldn't be unlocked. Try again, or use Repair & Restart from Advanced.");
    if (!text.isEmpty())
        return text;
    return QStringLiteral("Something went wrong. Try again.");
}
