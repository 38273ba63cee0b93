#include "CodeSigningReaderLinux.h"
#include "ProcessTableLinux.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void linkDescriptor(const QString &root, int pid, int fd, const QByteArray &target)
{
    const QString directory = QStringLiteral("%1/%2/fd").arg(root).arg(pid);
    QDir().mkpath(directory);
    QVERIFY(::symlink(target.constData(), QFile::encodeName(QStringLiteral("%1/%2").arg(directory).arg(fd)).constData()) == 0);
}

const QByteArray kTcpHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

} // namespace

class TestProcessTable : public QObject
{
    Q_OBJECT

private slots:
    void findsThisProcessListening_data()
    {
        QTest::addColumn<QHostAddress>("address");
        QTest::newRow("IPv4 loopback") << QHostAddress(QHostAddress::LocalHost);
        QTest::newRow("IPv6 loopback") << QHostAddress(QHostAddress::LocalHostIPv6);
    }

    void findsThisProcessListening()
    {
        QFETCH(QHostAddress, address);
        QTcpServer server;
        if (!server.listen(address, 0))
            QSKIP("this address family is not available here");
        QCOMPARE(ProcessTableLinux().resolveListeningPID(server.serverPort()), std::optional<qint32>(::getpid()));
        const quint16 port = server.serverPort();
        server.close();
        QCOMPARE(ProcessTableLinux().resolveListeningPID(port), std::nullopt);
    }

    void portsOutsideTheRangeHaveNoOwner()
    {
        for (const qint64 port : {qint64(0), qint64(-1), qint64(65536), qint64(1) << 32})
            QCOMPARE(ProcessTableLinux().resolveListeningPID(port), std::nullopt);
    }

    void onlyListeningSocketsCountAndTheFirstProcessWins()
    {
        QTemporaryDir proc;
        // Port 8080 (1F90): a listener (inode 111) and an established connection (inode 222);
        // port 8081 (1F91) listens on IPv6 (inode 333) but no visible process holds it.
        writeFile(proc.filePath("net/tcp"), kTcpHeader
                      + "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 111 1\n"
                      + "   1: 0100007F:1F90 0100007F:D431 01 00000000:00000000 00:00000000 00000000  1000        0 222 1\n"
                      + "garbage line\n");
        writeFile(proc.filePath("net/tcp6"), kTcpHeader
                      + "   0: 00000000000000000000000001000000:1F91 00000000000000000000000000000000:0000 0A "
                        "00000000:00000000 00:00000000 00000000  1000        0 333 1\n");
        linkDescriptor(proc.path(), 7, 3, "socket:[222]");
        linkDescriptor(proc.path(), 100, 0, "socket:[111]");
        linkDescriptor(proc.path(), 12, 1, "/dev/null");
        linkDescriptor(proc.path(), 12, 4, "socket:[111]");
        QDir(proc.path()).mkpath("self");
        const ProcessTableLinux table(proc.path());
        QCOMPARE(table.resolveListeningPID(8080), std::optional<qint32>(12));
        QCOMPARE(table.resolveListeningPID(8081), std::nullopt);
        QCOMPARE(table.resolveListeningPID(80), std::nullopt);
    }

    void everyProcessReadsAsUnsigned()
    {
        const CodeSigningReaderLinux reader;
        const BrokerPeerSigningInfo self = reader.selfSigningInfo();
        QVERIFY(!self.isSigned && !self.isDeveloperIdentitySigned());
        QCOMPARE(self.executablePath, std::optional<QString>(QCoreApplication::applicationFilePath()));
        const auto own = reader.signingInfo(::getpid());
        QVERIFY(own && !own->isSigned);
        QCOMPARE(own->executablePath, self.executablePath);
        QCOMPARE(reader.signingInfo(0), std::nullopt);
        QTemporaryDir emptyProc;
        QCOMPARE(CodeSigningReaderLinux(emptyProc.path()).signingInfo(4242), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestProcessTable)
#include "tst_ProcessTable.moc"
