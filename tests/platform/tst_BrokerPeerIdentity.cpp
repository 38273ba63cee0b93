#include "BrokerPeerIdentity.h"
#include "CodeSigningReaderLinux.h"
#include "ProcessTableLinux.h"

#include <QTcpServer>
#include <QtTest>

#include <unistd.h>

namespace {

BrokerPeerSigningInfo developerSigned(const QString &team)
{
    BrokerPeerSigningInfo info;
    info.isSigned = true;
    info.isAppleAnchored = true;
    info.teamID = team;
    return info;
}

BrokerPeerSigningInfo adHoc()
{
    BrokerPeerSigningInfo info = developerSigned("TEAM1");
    info.isAdHoc = true;
    return info;
}

BrokerPeerSigningInfo unanchored()
{
    BrokerPeerSigningInfo info = developerSigned("TEAM1");
    info.isAppleAnchored = false;
    return info;
}

using OptionalInfo = std::optional<BrokerPeerSigningInfo>;

} // namespace

class TestBrokerPeerIdentity : public QObject
{
    Q_OBJECT

private slots:
    void decide_data()
    {
        QTest::addColumn<BrokerPeerSigningInfo>("self");
        QTest::addColumn<OptionalInfo>("peer");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("trusted");
        const QString unsignedHost = "unenforceable: host app is not Developer ID signed";
        QTest::newRow("unsigned host") << BrokerPeerSigningInfo{} << OptionalInfo() << unsignedHost << true;
        QTest::newRow("ad hoc host counts as unsigned") << adHoc() << OptionalInfo(developerSigned("X")) << unsignedHost << true;
        QTest::newRow("empty team host") << developerSigned("") << OptionalInfo() << unsignedHost << true;
        QTest::newRow("no peer") << developerSigned("T") << OptionalInfo()
                                 << "rejected: no identifiable process owns the broker port" << false;
        QTest::newRow("unsigned peer") << developerSigned("T") << OptionalInfo(BrokerPeerSigningInfo{})
                                       << "rejected: broker process is unsigned" << false;
        QTest::newRow("unanchored peer") << developerSigned("T") << OptionalInfo(unanchored())
                                         << "rejected: broker signature is not Apple-anchored" << false;
        QTest::newRow("peer without team") << developerSigned("T") << OptionalInfo(developerSigned(""))
                                           << "rejected: broker process has no team identifier" << false;
        QTest::newRow("other team") << developerSigned("TEAMA") << OptionalInfo(developerSigned("TEAM%2"))
                                    << "rejected: broker team TEAM%2 does not match host team TEAMA" << false;
        QTest::newRow("same team") << developerSigned("TEAMA") << OptionalInfo(developerSigned("TEAMA")) << "trusted" << true;
    }

    void decide()
    {
        QFETCH(BrokerPeerSigningInfo, self);
        QFETCH(OptionalInfo, peer);
        QFETCH(QString, label);
        QFETCH(bool, trusted);
        const BrokerPeerTrust trust = BrokerPeerIdentity::decide(self, peer);
        QCOMPARE(trust.label(), label);
        QCOMPARE(trust.isTrusted(), trusted);
        QCOMPARE(trust.isPositivelyBound(), label == "trusted");
    }

    void unsignedHostNeverLooksUpTheProcessTable()
    {
        bool looked = false;
        const auto verification = BrokerPeerIdentity::verifyBroker(
            47382, BrokerPeerSigningInfo{}, [&](qint64) { looked = true; return std::optional<qint32>(1); },
            [&](qint32) { looked = true; return OptionalInfo(); });
        QVERIFY(!looked);
        QCOMPARE(verification.trust, BrokerPeerTrust::unenforceable("host app is not Developer ID signed"));
        QVERIFY(!verification.peerPID && !verification.peer);
    }

    // The real process table and signature reader of this machine, against a socket of our own.
    void realPlatformVerdicts()
    {
        const ProcessTableLinux table;
        const CodeSigningReaderLinux reader;
        const auto resolve = [&](qint64 port) { return table.resolveListeningPID(port); };
        const auto read = [&](qint32 pid) { return reader.signingInfo(pid); };
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();

        const auto asBuilt = BrokerPeerIdentity::verifyBroker(port, reader.selfSigningInfo(), resolve, read);
        QCOMPARE(asBuilt.trust.trustCase(), BrokerPeerTrust::Case::unenforceable);
        QVERIFY(asBuilt.trust.isTrusted());

        // Were the app signed, an unsigned listener (ourselves) would be rejected...
        const auto signedHost = BrokerPeerIdentity::verifyBroker(port, developerSigned("TEAM"), resolve, read);
        QCOMPARE(signedHost.peerPID, std::optional<qint32>(::getpid()));
        QCOMPARE(signedHost.trust.label(), "rejected: broker process is unsigned");
        // ...and so would an empty port.
        server.close();
        const auto nobody = BrokerPeerIdentity::verifyBroker(port, developerSigned("TEAM"), resolve, read);
        QCOMPARE(nobody.trust.label(), "rejected: no identifiable process owns the broker port");
    }
};

QTEST_GUILESS_MAIN(TestBrokerPeerIdentity)
#include "tst_BrokerPeerIdentity.moc"
