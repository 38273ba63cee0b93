#include "BrokerJSONValue.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

BrokerJSONValue parse(const QByteArray &json)
{
    return BrokerJSONValue::decode(QJsonDocument::fromJson("[" + json + "]").array().at(0));
}

} // namespace

class TestBrokerJSONValue : public QObject
{
    Q_OBJECT

private slots:
    void decodesEachCase_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("valueCase");
        QTest::newRow("one is a number") << QByteArray("1") << int(BrokerJSONValue::Case::number);
        QTest::newRow("true is a bool") << QByteArray("true") << int(BrokerJSONValue::Case::boolean);
        QTest::newRow("string") << QByteArray("\"1\"") << int(BrokerJSONValue::Case::string);
        QTest::newRow("null") << QByteArray("null") << int(BrokerJSONValue::Case::null);
        QTest::newRow("object") << QByteArray("{\"a\":{\"b\":[null]}}") << int(BrokerJSONValue::Case::object);
        QTest::newRow("array") << QByteArray("[1,\"x\"]") << int(BrokerJSONValue::Case::array);
    }

    void decodesEachCase()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, valueCase);
        const BrokerJSONValue value = parse(json);
        QCOMPARE(int(value.valueCase()), valueCase);
        // Encoding writes the natural JSON form back.
        QCOMPARE(QJsonDocument(QJsonArray{value.toJson()}).toJson(QJsonDocument::Compact), "[" + json + "]");
    }

    void debugString_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << QByteArray("1") << "1.0";
        QTest::newRow("half") << QByteArray("0.5") << "0.5";
        QTest::newRow("negative") << QByteArray("-12") << "-12.0";
        QTest::newRow("shortest round trip") << QByteArray("0.1") << "0.1";
        QTest::newRow("large") << QByteArray("1e16") << "1e+16";
        QTest::newRow("small") << QByteArray("0.00001") << "1e-05";
        QTest::newRow("string unquoted") << QByteArray("\"a b\"") << "a b";
        QTest::newRow("bool") << QByteArray("false") << "false";
        QTest::newRow("null") << QByteArray("null") << "null";
        QTest::newRow("object sorted") << QByteArray("{\"b\":1,\"a\":\"x\"}") << "{a: x, b: 1.0}";
        QTest::newRow("empty object") << QByteArray("{}") << "{}";
        QTest::newRow("array") << QByteArray("[1,[],{\"k\":null}]") << "[1.0, [], {k: null}]";
        // U+FF01 precedes U+1F600 by code point although its UTF-16 unit is larger.
        QTest::newRow("code point order") << QByteArray("{\"\xF0\x9F\x98\x80\":1,\"\xEF\xBC\x81\":2}")
                                          << QString::fromUtf8("{\xEF\xBC\x81: 2.0, \xF0\x9F\x98\x80: 1.0}");
    }

    void debugString()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, text);
        QCOMPARE(parse(json).debugString(), text);
    }

    void equalValuesHashAlike()
    {
        const BrokerJSONValue a = parse("{\"x\":[1,true,null],\"y\":\"s\"}");
        const BrokerJSONValue b = parse("{\"y\":\"s\",\"x\":[1.0,true,null]}");
        QCOMPARE(a, b);
        QCOMPARE(qHash(a), qHash(b));
        QVERIFY(!(a == parse("{\"x\":[1,true],\"y\":\"s\"}")));
        QVERIFY(!(parse("1") == parse("true")));
    }
};

QTEST_GUILESS_MAIN(TestBrokerJSONValue)
#include "tst_BrokerJSONValue.moc"
