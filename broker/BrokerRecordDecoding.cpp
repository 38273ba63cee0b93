#include "BrokerRecordDecoding.h"

#include <QJsonDocument>
#include <QJsonParseError>

BrokerFailure brokerDecodingFailure(const QString &detail)
{
    return BrokerFailure::decoding(QStringLiteral("The broker's response could not be read: %1").arg(detail));
}

BrokerResult<QJsonObject> parseBrokerObject(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return brokerDecodingFailure(QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        return brokerDecodingFailure(QStringLiteral("expected a JSON object"));
    return document.object();
}
