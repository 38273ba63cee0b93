#include "WrapperCheckPayload.h"

#include "JsonReader.h"

#include <QJsonDocument>

std::optional<WrapperCheckPayload> WrapperCheckPayload::parse(const QString &standardOutput)
{
    const QString text = standardOutput.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    JsonReader reader(document.object());
    WrapperCheckPayload payload{reader.optionalBool(QStringLiteral("present")),
                                reader.optionalBool(QStringLiteral("brokerAccepted")),
                                reader.optionalString(QStringLiteral("status")),
                                reader.optionalString(QStringLiteral("reason")),
                                reader.optionalString(QStringLiteral("hint"))};
    return reader.ok() ? std::optional<WrapperCheckPayload>(payload) : std::nullopt;
}
