#include "JsonReader.h"

#include <QJsonDocument>
#include <QTest>

namespace {
struct Item {
    QString id;
    std::optional<qint64> count;
};

Item decodeItem(JsonReader &r)
{
    return Item{r.requiredString(QStringLiteral("id")), r.optionalInteger(QStringLiteral("count"))};
}

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}
} // namespace

class TestJsonReader : public QObject
{
    Q_OBJECT
private slots:
    void readsRecords_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("failedKey");
        QTest::newRow("all present") << QByteArray(R"({"name":"a","n":3,"items":[{"id":"x","count":2}]})") << QString();
        QTest::newRow("optional null reads as absent") << QByteArray(R"({"name":"a","n":3,"items":[],"opt":null})") << QString();
        QTest::newRow("required missing") << QByteArray(R"({"n":3,"items":[]})") << QStringLiteral("name");
        QTest::newRow("required null") << QByteArray(R"({"name":null,"n":3,"items":[]})") << QStringLiteral("name");
        QTest::newRow("wrong type") << QByteArray(R"({"name":"a","n":"3","items":[]})") << QStringLiteral("n");
        QTest::newRow("fractional integer") << QByteArray(R"({"name":"a","n":3.5,"items":[]})") << QStringLiteral("n");
        QTest::newRow("integer beyond 64 bits") << QByteArray(R"({"name":"a","n":1e19,"items":[]})") << QStringLiteral("n");
        QTest::newRow("optional of wrong type fails") << QByteArray(R"({"name":"a","n":1,"items":[],"opt":5})") << QStringLiteral("opt");
        QTest::newRow("nested element names its path") << QByteArray(R"({"name":"a","n":1,"items":[{"id":"x"},{"id":7}]})") << QStringLiteral("items[1].id");
        QTest::newRow("non-object element") << QByteArray(R"({"name":"a","n":1,"items":["x"]})") << QStringLiteral("items[0]");
        QTest::newRow("first failure wins") << QByteArray(R"({"n":"x","items":[]})") << QStringLiteral("name");
    }
    void readsRecords()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, failedKey);
        JsonReader r(QJsonDocument::fromJson(json).object());
        r.requiredString(QStringLiteral("name"));
        r.requiredInteger(QStringLiteral("n"));
        const QList<Item> items = r.requiredList<Item>(QStringLiteral("items"), decodeItem);
        r.optionalString(QStringLiteral("opt"));
        QCOMPARE(r.failedKey(), failedKey);
        QCOMPARE(r.ok(), failedKey.isEmpty());
        if (r.ok() && !items.isEmpty()) {
            QCOMPARE(items.first().id, QStringLiteral("x"));
            QCOMPARE(items.first().count, std::optional<qint64>(2));
        }
    }

    void optionalAbsentIsNotAFailure()
    {
        JsonReader r(parse(R"({"a":null})"));
        QVERIFY(!r.optionalString(QStringLiteral("a")).has_value());
        QVERIFY(!r.optionalList<Item>(QStringLiteral("b"), decodeItem).has_value());
        QVERIFY(r.ok());
        QVERIFY(r.errorText().isEmpty());
    }

    void errorTextNamesTheKey()
    {
        JsonReader r(parse(R"({})"));
        r.requiredBool(QStringLiteral("loopbackOnly"));
        QCOMPARE(r.errorText(), QStringLiteral("missing or invalid key \"loopbackOnly\""));
    }
};

QTEST_GUILESS_MAIN(TestJsonReader)
#include "tst_JsonReader.moc"
