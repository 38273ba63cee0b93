#include "BrokerErrorPresentation.h"

#include "StrictUtf8.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kFallbackMessage = QStringLiteral("Broker request failed");

bool containsAny(const QString &text, std::initializer_list<const char *> phrases)
{
    for (const char *phrase : phrases) {
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::optional<QJsonObject> jsonObjectOf(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

QString brokerErrorMessage(const QByteArray &body)
{
    if (const auto payload = jsonObjectOf(body)) {
        const QJsonValue error = payload->value(QStringLiteral("error"));
        // A mistyped "error" does not decode the payload: fall back to the raw text as well.
        const QString message = error.isString() ? error.toString().trimmed() : QString();
        if (!message.isEmpty())
            return message;
    }
    const std::optional<QString> text = strictUtf8(body);
    if (!text)
        return kFallbackMessage;
    const QString trimmed = text->trimmed();
    return trimmed.isEmpty() ? kFallbackMessage : trimmed;
}

QString brokerErrorMessage(const QString &text)
{
    const QString trimmed = text.trimmed();
    const auto object = jsonObjectOf(trimmed.toUtf8());
    if (!object)
        return trimmed;
    const QJsonValue error = object->value(QStringLiteral("error"));
    if (error.isString())
        return error.toString();
    const QJsonValue message = object->value(QStringLiteral("message"));
    if (!message.isUndefined())
        return message.isString() ? message.toString() : trimmed;
    return trimmed;
}

QString friendlyErrorMessage(const BrokerFailure &error, bool legacyKeychainUnlockEnabled)
{
    if (const auto refusal = error.requestFailure()) {
        const QString m = brokerErrorMessage(refusal->message());
        if (containsAny(m, {"credential validation failed", "bad credentials", "invalid credentials"}))
            return QStringLiteral("The provider rejected that key. Check that it is active and has the required "
                                  "permissions, then try again.");
        if (containsAny(m, {"local operator session required", "invalid or expired local operator session"}))
            return QStringLiteral("Unlock Torvane on this computer, then try again.");
        if (refusal->status() == 401 || refusal->status() == 403)
            return QStringLiteral("Torvane could not authorize that request. Check the key or unlock the local "
                                  "vault, then try again.");
        if (!m.isEmpty() && !m.startsWith(QLatin1Char('{')))
            return m;
    }
    return friendlyErrorMessage(error.description(), legacyKeychainUnlockEnabled);
}

QString friendlyErrorMessage(const QString &description, bool legacyKeychainUnlockEnabled)
{
    const QString &d = description;
    if (containsAny(d, {"legacy keychain unlock is disabled"}))
        return QStringLiteral("Legacy Linux unlock is disabled. Use Repair & Restart to migrate TVN back to the "
                              "local vault.");
    if (containsAny(d, {"operator bootstrap", "keychain permission", "user interaction is not allowed", "authorization"})) {
        return legacyKeychainUnlockEnabled
            ? QStringLiteral("Legacy unlock permission required. Try unlocking the vault again and approve only "
                             "if Linux says Torvane.")
            : QStringLiteral("TVN could not unlock the local vault. Use Repair & Restart or open the logs from "
                             "Advanced.");
    }
    if (containsAny(d, {"failed to fetch", "could not connect", "service unavailable"}))
        return QStringLiteral("Torvane local service is not reachable. Turn it on or use Repair & Restart.");
    return d;
}

bool isInvalidOrExpiredOperatorSession(const BrokerFailure &error)
{
    const auto refusal = error.requestFailure();
    return refusal && refusal->status() == 401
        && refusal->message().contains(QLatin1String("Invalid or expired local operator session"), Qt::CaseInsensitive);
}
