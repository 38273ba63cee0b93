#pragma once

#include "BrokerResult.h"

#include <JsonReader.h>

#include <QByteArray>
#include <QJsonObject>

// Parses a broker body as one JSON object; invalid JSON or another top-level type is a decoding failure.
BrokerResult<QJsonObject> parseBrokerObject(const QByteArray &body);
BrokerFailure brokerDecodingFailure(const QString &detail);

// Decodes a broker body as the record `T` (which provides `static T decode(JsonReader &)`).
// The record is all or nothing: the first missing or mistyped required key fails it and is named.
template <typename T>
BrokerResult<T> decodeBrokerRecord(const QByteArray &body)
{
    const BrokerResult<QJsonObject> object = parseBrokerObject(body);
    if (!object)
        return object.failure();
    JsonReader reader(object.value());
    T record = T::decode(reader);
    if (!reader.ok())
        return brokerDecodingFailure(reader.errorText());
    return record;
}
