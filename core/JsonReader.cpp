#include "JsonReader.h"

#include <cmath>

namespace {

std::optional<QString> asString(const QJsonValue &v)
{
    return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
}

std::optional<double> asDouble(const QJsonValue &v)
{
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

std::optional<bool> asBool(const QJsonValue &v)
{
    return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
}

std::optional<QJsonObject> asObject(const QJsonValue &v)
{
    return v.isObject() ? std::optional<QJsonObject>(v.toObject()) : std::nullopt;
}

std::optional<QStringList> asStringList(const QJsonValue &v)
{
    if (!v.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue &item : v.toArray()) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

} // namespace

JsonReader::JsonReader(const QJsonObject &object, const QString &path)
    : m_object(object), m_path(path)
{
}

std::optional<qint64> JsonReader::integerFrom(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number >= limit || number < -limit)
        return std::nullopt;
    return static_cast<qint64>(number);
}

JsonReader::Presence JsonReader::presence(const QString &key) const
{
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd())
        return Presence::Missing;
    return it->isNull() ? Presence::Null : Presence::Present;
}

QString JsonReader::pathOf(const QString &key) const
{
    return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key;
}

void JsonReader::fail(const QString &key)
{
    if (ok())
        m_failedKey = pathOf(key);
}

QString JsonReader::errorText() const
{
    return ok() ? QString() : QStringLiteral("missing or invalid key \"%1\"").arg(m_failedKey);
}

template <typename T>
std::optional<T> JsonReader::readOptional(const QString &key,
                                          const std::function<std::optional<T>(const QJsonValue &)> &convert)
{
    if (!ok() || presence(key) != Presence::Present)
        return std::nullopt;
    std::optional<T> value = convert(m_object.value(key));
    if (!value)
        fail(key);
    return value;
}

template <typename T>
T JsonReader::readRequired(const QString &key, const std::function<std::optional<T>(const QJsonValue &)> &convert)
{
    if (!ok())
        return T{};
    std::optional<T> value = convert(m_object.value(key));
    if (!value) {
        fail(key);
        return T{};
    }
    return *value;
}

QString JsonReader::requiredString(const QString &key) { return readRequired<QString>(key, asString); }
std::optional<QString> JsonReader::optionalString(const QString &key) { return readOptional<QString>(key, asString); }
qint64 JsonReader::requiredInteger(const QString &key) { return readRequired<qint64>(key, integerFrom); }
std::optional<qint64> JsonReader::optionalInteger(const QString &key) { return readOptional<qint64>(key, integerFrom); }
double JsonReader::requiredDouble(const QString &key) { return readRequired<double>(key, asDouble); }
std::optional<double> JsonReader::optionalDouble(const QString &key) { return readOptional<double>(key, asDouble); }
bool JsonReader::requiredBool(const QString &key) { return readRequired<bool>(key, asBool); }
std::optional<bool> JsonReader::optionalBool(const QString &key) { return readOptional<bool>(key, asBool); }
QStringList JsonReader::requiredStringList(const QString &key) { return readRequired<QStringList>(key, asStringList); }
std::optional<QStringList> JsonReader::optionalStringList(const QString &key)
{
    return readOptional<QStringList>(key, asStringList);
}
QJsonObject JsonReader::requiredObject(const QString &key) { return readRequired<QJsonObject>(key, asObject); }
std::optional<QJsonObject> JsonReader::optionalObject(const QString &key)
{
    return readOptional<QJsonObject>(key, asObject);
}
