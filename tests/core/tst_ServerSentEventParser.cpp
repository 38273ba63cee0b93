#include "ServerSentEventParser.h"

#include <QTest>

using Event = ServerSentEventParser::Event;

class TestServerSentEventParser : public QObject
{
    Q_OBJECT
private slots:
    void events_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QList<Event>>("events");
        QTest::newRow("one event") << QByteArrayList{"event: approvals\ndata: {\"pending\":1}\n\n"}
                                   << QList<Event>{{"approvals", "{\"pending\":1}"}};
        QTest::newRow("split anywhere") << QByteArrayList{"eve", "nt: approvals\nda", "ta: {}\n", "\n"}
                                        << QList<Event>{{"approvals", "{}"}};
        QTest::newRow("CRLF lines") << QByteArrayList{"event: a\r\ndata: 1\r\n\r\n"} << QList<Event>{{"a", "1"}};
        QTest::newRow("comments and heartbeats") << QByteArrayList{": still here\n\n: again\nevent: b\n\n"}
                                                 << QList<Event>{{"b", ""}};
        QTest::newRow("data lines join, no name reads as message")
            << QByteArrayList{"data: one\ndata:two\n\n"} << QList<Event>{{"message", "one\ntwo"}};
        QTest::newRow("two in one piece") << QByteArrayList{"event: a\n\nevent: b\ndata: x\n\n"}
                                          << QList<Event>{{"a", ""}, {"b", "x"}};
        QTest::newRow("unfinished waits") << QByteArrayList{"event: a\ndata: 1\n"} << QList<Event>{};
        QTest::newRow("unknown fields ignored") << QByteArrayList{"id: 7\nretry: 10\nevent: a\n\n"} << QList<Event>{{"a", ""}};
    }
    void events()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QList<Event>, events);
        ServerSentEventParser parser;
        QList<Event> seen;
        for (const QByteArray &piece : pieces)
            seen += parser.feed(piece);
        QCOMPARE(seen, events);
    }

    void anEndlessLineIsDropped()
    {
        ServerSentEventParser parser;
        QVERIFY(parser.feed("data: " + QByteArray(2 << 20, 'x')).isEmpty());
        QCOMPARE(parser.feed("event: after\n\n"), (QList<Event>{{"after", ""}}));
    }
};

QTEST_GUILESS_MAIN(TestServerSentEventParser)
#include "tst_ServerSentEventParser.moc"
