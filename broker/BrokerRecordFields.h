#pragma once

#include "BrokerJSONValue.h"

#include <JsonReader.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Each record lists its fields once, in `fields(self, visit)`: the key and the member. The
// visitors below turn that list into strict decoding (through JsonReader's required/optional
// rules, chosen by the member's type) and into encoding with the same keys.

class BrokerFieldReader
{
public:
    explicit BrokerFieldReader(JsonReader &reader) : m_reader(reader) {}

    void operator()(const char *key, QString &value) { value = m_reader.requiredString(name(key)); }
    void operator()(const char *key, std::optional<QString> &value) { value = m_reader.optionalString(name(key)); }
    void operator()(const char *key, qint64 &value) { value = m_reader.requiredInteger(name(key)); }
    void operator()(const char *key, std::optional<qint64> &value) { value = m_reader.optionalInteger(name(key)); }
    void operator()(const char *key, bool &value) { value = m_reader.requiredBool(name(key)); }
    void operator()(const char *key, std::optional<bool> &value) { value = m_reader.optionalBool(name(key)); }
    void operator()(const char *key, QStringList &value) { value = m_reader.requiredStringList(name(key)); }
    void operator()(const char *key, std::optional<QStringList> &value) { value = m_reader.optionalStringList(name(key)); }
    void operator()(const char *key, std::optional<BrokerJSONValue::Object> &value)
    {
        if (const auto object = m_reader.optionalObject(name(key)))
            value = BrokerJSONValue::decodeObject(*object);
    }
    template <typename Record>
    void operator()(const char *key, QList<Record> &value)
    {
        value = m_reader.requiredList<Record>(name(key), &Record::decode);
    }
    template <typename Record>
    void operator()(const char *key, std::optional<QList<Record>> &value)
    {
        value = m_reader.optionalList<Record>(name(key), &Record::decode);
    }
    template <typename Record>
    void operator()(const char *key, Record &value)
    {
        value = m_reader.requiredRecord<Record>(name(key), &Record::decode);
    }
    template <typename Record>
    void operator()(const char *key, std::optional<Record> &value)
    {
        value = m_reader.optionalRecord<Record>(name(key), &Record::decode);
    }

private:
    static QString name(const char *key) { return QString::fromLatin1(key); }
    JsonReader &m_reader;
};

template <typename Record>
QJsonObject encodeRecordFields(const Record &record);

class BrokerFieldWriter
{
public:
    explicit BrokerFieldWriter(QJsonObject &object) : m_object(object) {}

    template <typename T>
    void operator()(const char *key, const T &value)
    {
        m_object.insert(QString::fromLatin1(key), jsonOf(value));
    }
    // Absent optional fields are left out rather than written as null.
    template <typename T>
    void operator()(const char *key, const std::optional<T> &value)
    {
        if (value)
            (*this)(key, *value);
    }

private:
    static QJsonValue jsonOf(const QString &value) { return value; }
    static QJsonValue jsonOf(qint64 value) { return value; }
    static QJsonValue jsonOf(bool value) { return value; }
    static QJsonValue jsonOf(const QStringList &value) { return QJsonArray::fromStringList(value); }
    static QJsonValue jsonOf(const BrokerJSONValue::Object &value) { return BrokerJSONValue::fromObject(value).toJson(); }
    template <typename Record>
    static QJsonValue jsonOf(const QList<Record> &records)
    {
        QJsonArray array;
        for (const Record &record : records)
            array.append(encodeRecordFields(record));
        return array;
    }
    template <typename Record>
    static QJsonValue jsonOf(const Record &record)
    {
        return encodeRecordFields(record);
    }

    QJsonObject &m_object;
};

template <typename Record>
Record decodeRecordFields(JsonReader &reader)
{
    Record record;
    BrokerFieldReader visit(reader);
    Record::fields(record, visit);
    return record;
}

template <typename Record>
QJsonObject encodeRecordFields(const Record &record)
{
    QJsonObject object;
    BrokerFieldWriter visit(object);
    Record::fields(record, visit);
    return object;
}
