#pragma once

#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>

#include <variant>

// Any JSON value the broker sends inside an otherwise typed record (an approval's `displayInput`).
// Decoding never fails once a value is present: whatever is not recognised reads as null.
class BrokerJSONValue
{
public:
    enum class Case { string, number, boolean, object, array, null };
    using Object = QMap<QString, BrokerJSONValue>;
    using Array = QList<BrokerJSONValue>;

    BrokerJSONValue() = default; // null
    static BrokerJSONValue fromString(const QString &value);
    static BrokerJSONValue fromNumber(double value);
    static BrokerJSONValue fromBool(bool value);
    static BrokerJSONValue fromObject(const Object &value);
    static BrokerJSONValue fromArray(const Array &value);

    static BrokerJSONValue decode(const QJsonValue &json);
    static Object decodeObject(const QJsonObject &json);
    QJsonValue toJson() const;

    Case valueCase() const { return static_cast<Case>(m_value.index()); }
    QString string() const;
    double number() const;
    bool boolean() const;
    Object object() const;
    Array array() const;

    // Read-only text form: strings unquoted, numbers always with a fraction ("1.0"), object keys
    // sorted by code point: {a: x, b: 1.0}.
    QString debugString() const;

    bool operator==(const BrokerJSONValue &other) const { return m_value == other.m_value; }

private:
    using Storage = std::variant<QString, double, bool, Object, Array, std::monostate>;
    explicit BrokerJSONValue(Storage value) : m_value(std::move(value)) {}

    Storage m_value = std::monostate{};
};

size_t qHash(const BrokerJSONValue &value, size_t seed = 0);
