#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Reads one JSON object under the record rules every broker and status record shares:
// a required key must be present and of its JSON type, an optional key may be absent or null
// and then reads as absent. The first failure is kept (its key names what went wrong) and
// every later read returns a default, so a decoder reads all fields and checks `ok()` once.
class JsonReader
{
public:
    explicit JsonReader(const QJsonObject &object, const QString &path = {});

    QString requiredString(const QString &key);
    std::optional<QString> optionalString(const QString &key);
    qint64 requiredInteger(const QString &key);
    std::optional<qint64> optionalInteger(const QString &key);
    double requiredDouble(const QString &key);
    std::optional<double> optionalDouble(const QString &key);
    bool requiredBool(const QString &key);
    std::optional<bool> optionalBool(const QString &key);
    QStringList requiredStringList(const QString &key);
    std::optional<QStringList> optionalStringList(const QString &key);
    QJsonObject requiredObject(const QString &key);
    std::optional<QJsonObject> optionalObject(const QString &key);

    // A list (or map) of nested records; `decode` reads one element with a reader of its own
    // and a failure inside names the full path ("keys[2].id").
    template <typename T>
    QList<T> requiredList(const QString &key, const std::function<T(JsonReader &)> &decode);
    template <typename T>
    std::optional<QList<T>> optionalList(const QString &key, const std::function<T(JsonReader &)> &decode);
    template <typename T>
    std::optional<T> optionalRecord(const QString &key, const std::function<T(JsonReader &)> &decode);
    template <typename T>
    T requiredRecord(const QString &key, const std::function<T(JsonReader &)> &decode);

    bool ok() const { return m_failedKey.isEmpty(); }
    // Path of the first key that was missing or of the wrong type; empty when ok.
    QString failedKey() const { return m_failedKey; }
    // "missing or invalid key \"x\"" — the text carried by decoding errors.
    QString errorText() const;

    // Strict integer rule for JSON numbers: integral and inside the signed 64-bit range.
    static std::optional<qint64> integerFrom(const QJsonValue &value);

private:
    enum class Presence { Missing, Null, Present };
    Presence presence(const QString &key) const;
    QString pathOf(const QString &key) const;
    void fail(const QString &key);
    template <typename T>
    std::optional<T> readOptional(const QString &key, const std::function<std::optional<T>(const QJsonValue &)> &convert);
    template <typename T>
    T readRequired(const QString &key, const std::function<std::optional<T>(const QJsonValue &)> &convert);
    template <typename T>
    std::optional<QList<T>> decodeArray(const QString &key, const QJsonArray &array,
                                        const std::function<T(JsonReader &)> &decode);

    QJsonObject m_object;
    QString m_path;
    QString m_failedKey;
};

template <typename T>
std::optional<QList<T>> JsonReader::decodeArray(const QString &key, const QJsonArray &array,
                                                const std::function<T(JsonReader &)> &decode)
{
    QList<T> items;
    items.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString elementPath = pathOf(key) + QLatin1Char('[') + QString::number(i) + QLatin1Char(']');
        if (!array.at(i).isObject()) {
            if (ok())
                m_failedKey = elementPath;
            return std::nullopt;
        }
        JsonReader element(array.at(i).toObject(), elementPath);
        T item = decode(element);
        if (!element.ok()) {
            if (ok())
                m_failedKey = element.failedKey();
            return std::nullopt;
        }
        items.append(std::move(item));
    }
    return items;
}

template <typename T>
QList<T> JsonReader::requiredList(const QString &key, const std::function<T(JsonReader &)> &decode)
{
    if (!ok())
        return {};
    const QJsonValue value = m_object.value(key);
    if (!value.isArray()) {
        fail(key);
        return {};
    }
    return decodeArray<T>(key, value.toArray(), decode).value_or(QList<T>{});
}

template <typename T>
std::optional<QList<T>> JsonReader::optionalList(const QString &key, const std::function<T(JsonReader &)> &decode)
{
    if (!ok() || presence(key) != Presence::Present)
        return std::nullopt;
    const QJsonValue value = m_object.value(key);
    if (!value.isArray()) {
        fail(key);
        return std::nullopt;
    }
    return decodeArray<T>(key, value.toArray(), decode);
}

template <typename T>
std::optional<T> JsonReader::optionalRecord(const QString &key, const std::function<T(JsonReader &)> &decode)
{
    if (!ok() || presence(key) != Presence::Present)
        return std::nullopt;
    return requiredRecord<T>(key, decode);
}

template <typename T>
T JsonReader::requiredRecord(const QString &key, const std::function<T(JsonReader &)> &decode)
{
    if (!ok())
        return T{};
    const QJsonValue value = m_object.value(key);
    if (!value.isObject()) {
        fail(key);
        return T{};
    }
    JsonReader nested(value.toObject(), pathOf(key));
    T record = decode(nested);
    if (!nested.ok()) {
        m_failedKey = nested.failedKey();
        return T{};
    }
    return record;
}
