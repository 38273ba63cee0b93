#include "LocalServiceController.h"
#include "ServiceTestSupport.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// The controller against the real control script and broker of this checkout, in a temporary
// home. Binds the development broker port; stops whatever it started.
namespace {

constexpr quint16 developmentPort = 47382;

bool portAcceptsConnections()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, developmentPort);
    return socket.waitForConnected(1000);
}

bool waitForPortFree(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (portAcceptsConnections()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(200);
    }
    return true;
}

} // namespace

class TestLocalServiceIntegration : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QVERIFY2(waitForPortFree(30000), "another process holds port 47382; the development broker cannot be tested");
        m_controller.emplace(serviceContext(m_home.path(), QStringLiteral(TVN_BINARY_DIR),
                                            QStringLiteral(TVN_BINARY_DIR "/share/torvane")));
        QCOMPARE(m_controller->resolvedServiceRoot(), std::optional<QString>(QDir::cleanPath(QStringLiteral(TVN_SOURCE_DIR))));
    }

    void installBringsTheBrokerUp()
    {
        const ServiceOutcome installed = finish(m_controller->run(LocalServiceCommand::install));
        QVERIFY2(installed.status, installed.error ? qPrintable(installed.error->description()) : "");
        QVERIFY2(installed.status->status == QLatin1String("ready"),
                 qPrintable(installed.status->status + QStringLiteral(": ") + installed.status->lastErrorSummary.value_or(QString())));
        QCOMPARE(installed.status->broker, QStringLiteral("listening"));
        QCOMPARE(installed.status->stateDir, m_controller->identity().stateDirectoryPath());
        QCOMPARE(installed.status->logDir, m_controller->identity().logDirectoryPath());
        QCOMPARE(installed.status->runtimeLane, std::optional<QString>("development"));
        QVERIFY(portAcceptsConnections());

        const ServiceOutcome status = finish(m_controller->run(LocalServiceCommand::status));
        QVERIFY(status.status);
        QCOMPARE(status.status->status, QStringLiteral("ready"));
        QCOMPARE(status.status->broker, QStringLiteral("listening"));
        QCOMPARE(status.status->brokerMatchesInstall, std::optional<bool>(true));
    }

    void stopFreesThePort()
    {
        const ServiceOutcome stopped = finish(m_controller->run(LocalServiceCommand::stop));
        QVERIFY2(stopped.status, stopped.error ? qPrintable(stopped.error->description()) : "");
        QVERIFY(stopped.status->broker != QLatin1String("listening"));
        QVERIFY(!portAcceptsConnections());
    }

    void squatterOnThePortIsAConflict()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, developmentPort));
        for (const LocalServiceCommand command : {LocalServiceCommand::install, LocalServiceCommand::status}) {
            const ServiceOutcome outcome = finish(m_controller->run(command));
            QVERIFY2(outcome.status, outcome.error ? qPrintable(outcome.error->description()) : "");
            QCOMPARE(outcome.status->status, QStringLiteral("port_conflict"));
            QCOMPARE(outcome.status->broker, QStringLiteral("port_conflict"));
        }
        // A foreign listener is reported, never replaced.
        QVERIFY(squatter.isListening());
    }

    void cleanupTestCase()
    {
        if (!m_controller)
            return;
        const ServiceOutcome stopped = finish(m_controller->run(LocalServiceCommand::uninstall));
        QVERIFY2(!stopped.error, stopped.error ? qPrintable(stopped.error->description()) : "");
        QVERIFY(waitForPortFree(10000));
    }

private:
    QTemporaryDir m_home;
    std::optional<LocalServiceController> m_controller;
};

QTEST_GUILESS_MAIN(TestLocalServiceIntegration)
#include "tst_LocalServiceIntegration.moc"
