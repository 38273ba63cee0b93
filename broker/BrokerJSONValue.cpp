#include "BrokerJSONValue.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

template <typename... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <typename... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

// Shortest text that reads back as the same double; plain decimals between 1e-4 and 2^53,
// exponent form outside, and a fraction on every plain integral value ("1.0").
QString numberText(double value)
{
    const double magnitude = std::fabs(value);
    if (value == 0)
        return std::signbit(value) ? QStringLiteral("-0.0") : QStringLiteral("0.0");
    if (!std::isfinite(value))
        return QString::number(value);
    constexpr double plainLimit = 9007199254740992.0; // 2^53
    if (magnitude >= 1e-4 && magnitude < plainLimit) {
        QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
        if (!text.contains(QLatin1Char('.')))
            text += QStringLiteral(".0");
        return text;
    }
    return QString::number(value, 'e', QLocale::FloatingPointShortest);
}

bool precedesByCodePoint(const QString &left, const QString &right)
{
    const QList<uint> a = left.toUcs4();
    const QList<uint> b = right.toUcs4();
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

} // namespace

BrokerJSONValue BrokerJSONValue::fromString(const QString &value) { return BrokerJSONValue(Storage(value)); }
BrokerJSONValue BrokerJSONValue::fromNumber(double value) { return BrokerJSONValue(Storage(value)); }
BrokerJSONValue BrokerJSONValue::fromBool(bool value) { return BrokerJSONValue(Storage(value)); }
BrokerJSONValue BrokerJSONValue::fromObject(const Object &value) { return BrokerJSONValue(Storage(value)); }
BrokerJSONValue BrokerJSONValue::fromArray(const Array &value) { return BrokerJSONValue(Storage(value)); }

BrokerJSONValue BrokerJSONValue::decode(const QJsonValue &json)
{
    switch (json.type()) {
    case QJsonValue::Bool:
        return fromBool(json.toBool());
    case QJsonValue::Double:
        return fromNumber(json.toDouble());
    case QJsonValue::String:
        return fromString(json.toString());
    case QJsonValue::Object:
        return fromObject(decodeObject(json.toObject()));
    case QJsonValue::Array: {
        Array items;
        const QJsonArray array = json.toArray();
        items.reserve(array.size());
        for (const QJsonValue &item : array)
            items.append(decode(item));
        return fromArray(items);
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

BrokerJSONValue::Object BrokerJSONValue::decodeObject(const QJsonObject &json)
{
    Object members;
    for (auto it = json.begin(); it != json.end(); ++it)
        members.insert(it.key(), decode(it.value()));
    return members;
}

QJsonValue BrokerJSONValue::toJson() const
{
    return std::visit(Overloaded{
                          [](const QString &v) { return QJsonValue(v); },
                          [](double v) { return QJsonValue(v); },
                          [](bool v) { return QJsonValue(v); },
                          [](const Object &v) {
                              QJsonObject object;
                              for (auto it = v.begin(); it != v.end(); ++it)
                                  object.insert(it.key(), it.value().toJson());
                              return QJsonValue(object);
                          },
                          [](const Array &v) {
                              QJsonArray array;
                              for (const BrokerJSONValue &item : v)
                                  array.append(item.toJson());
                              return QJsonValue(array);
                          },
                          [](std::monostate) { return QJsonValue(QJsonValue::Null); },
                      },
                      m_value);
}

QString BrokerJSONValue::string() const
{
    const auto *v = std::get_if<QString>(&m_value);
    return v ? *v : QString();
}

double BrokerJSONValue::number() const
{
    const auto *v = std::get_if<double>(&m_value);
    return v ? *v : 0.0;
}

bool BrokerJSONValue::boolean() const
{
    const auto *v = std::get_if<bool>(&m_value);
    return v && *v;
}

BrokerJSONValue::Object BrokerJSONValue::object() const
{
    const auto *v = std::get_if<Object>(&m_value);
    return v ? *v : Object();
}

BrokerJSONValue::Array BrokerJSONValue::array() const
{
    const auto *v = std::get_if<Array>(&m_value);
    return v ? *v : Array();
}

QString BrokerJSONValue::debugString() const
{
    return std::visit(Overloaded{
                          [](const QString &v) { return v; },
                          [](double v) { return numberText(v); },
                          [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); },
                          [](const Object &v) {
                              QStringList keys = v.keys();
                              std::sort(keys.begin(), keys.end(), precedesByCodePoint);
                              QStringList entries;
                              for (const QString &key : keys)
                                  entries.append(key + QStringLiteral(": ") + v.value(key).debugString());
                              return QLatin1Char('{') + entries.join(QStringLiteral(", ")) + QLatin1Char('}');
                          },
                          [](const Array &v) {
                              QStringList items;
                              for (const BrokerJSONValue &item : v)
                                  items.append(item.debugString());
                              return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
                          },
                          [](std::monostate) { return QStringLiteral("null"); },
                      },
                      m_value);
}

size_t qHash(const BrokerJSONValue &value, size_t seed)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, static_cast<int>(value.valueCase()));
    switch (value.valueCase()) {
    case BrokerJSONValue::Case::string:
        return combine(seed, value.string());
    case BrokerJSONValue::Case::number:
        return combine(seed, value.number());
    case BrokerJSONValue::Case::boolean:
        return combine(seed, value.boolean());
    case BrokerJSONValue::Case::object: {
        const BrokerJSONValue::Object members = value.object();
        for (auto it = members.begin(); it != members.end(); ++it)
            seed = combine(combine(seed, it.key()), qHash(it.value(), 0));
        return seed;
    }
    case BrokerJSONValue::Case::array:
        for (const BrokerJSONValue &item : value.array())
            seed = combine(seed, qHash(item, 0));
        return seed;
    case BrokerJSONValue::Case::null:
        break;
    }
    return seed;
}
