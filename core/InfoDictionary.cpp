#include "InfoDictionary.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace InfoDictionary {

namespace {

std::optional<qint64> integerFromString(const QString &text)
{
    static const QRegularExpression signedDigits(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (!signedDigits.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = trimmed.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::optional<qint64> integerFromDouble(double number)
{
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(number) || number >= limit || number < -limit)
        return std::nullopt;
    return static_cast<qint64>(std::trunc(number));
}

} // namespace

QVariantMap load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return document.isObject() ? document.object().toVariantMap() : QVariantMap();
}

std::optional<QString> readString(const QVariantMap &info, const QString &key)
{
    const QVariant value = info.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().trimmed();
}

std::optional<qint64> readInteger(const QVariantMap &info, const QString &key)
{
    const QVariant value = info.value(key);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return value.toLongLong();
    case QMetaType::ULongLong: {
        bool ok = false;
        const qulonglong unsignedValue = value.toULongLong(&ok);
        if (!ok || unsignedValue > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(unsignedValue);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return integerFromDouble(value.toDouble());
    case QMetaType::QString:
        return integerFromString(value.toString());
    default:
        return std::nullopt;
    }
}

} // namespace InfoDictionary
