#include "LocalServiceStartPhase.h"

#include <QTest>

using Kind = LocalServiceStartPhase::Kind;

class TestLocalServiceStartPhase : public QObject
{
    Q_OBJECT
private slots:
    void phases_data()
    {
        QTest::addColumn<LocalServiceStartPhase>("phase");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("inProgress");
        QTest::addColumn<bool>("failure");

        QTest::newRow("idle") << LocalServiceStartPhase(Kind::idle) << QString() << QString() << false << false;
        QTest::newRow("installing") << LocalServiceStartPhase(Kind::installing) << "Installing local service…"
                                    << "First run can take about a minute while Torvane sets up its private local "
                                       "service."
                                    << true << false;
        QTest::newRow("starting") << LocalServiceStartPhase(Kind::starting) << "Starting local service…"
                                  << "Bringing the local service back up on this computer." << true << false;
        QTest::newRow("waitingForBroker") << LocalServiceStartPhase(Kind::waitingForBroker)
                                          << "Waiting for the local service…"
                                          << "The helper is starting and should answer shortly." << true << false;
        QTest::newRow("checkingKeychain") << LocalServiceStartPhase(Kind::checkingKeychain)
                                          << "Checking local vault access..."
                                          << "Confirming Torvane can unlock from the owner-only local state file."
                                          << true << false;
        QTest::newRow("ready") << LocalServiceStartPhase(Kind::ready) << "Torvane is on"
                               << "Apps can connect now. Your real app keys stay encrypted on this computer." << false
                               << false;
        QTest::newRow("needsApproval") << LocalServiceStartPhase(Kind::needsApproval) << "Needs Linux approval"
                                       << "Unlock the vault before connecting apps or creating agent keys." << false
                                       << false;
        QTest::newRow("portConflict") << LocalServiceStartPhase(Kind::portConflict)
                                      << "Something else is using TVN's port"
                                      << "Close the other local service using this app's broker address, then Check "
                                         "Again."
                                      << false << true;
        QTest::newRow("staleBroker") << LocalServiceStartPhase(Kind::staleBroker)
                                     << "A different local service is running"
                                     << "Another local service is on TVN's port. Repair & Restart to use this app's "
                                        "service."
                                     << false << true;
        QTest::newRow("startFailed") << LocalServiceStartPhase(Kind::startFailed) << "Torvane could not start"
                                     << "Try Repair & Restart, open the logs, or quit and reopen Torvane." << false
                                     << true;
        QTest::newRow("timedOut") << LocalServiceStartPhase(Kind::timedOut) << "Startup is taking longer than expected"
                                  << "It was stopped so the app stays responsive. Try Repair & Restart, open the logs, "
                                     "or quit and reopen Torvane."
                                  << false << true;
        QTest::newRow("failed") << LocalServiceStartPhase::failedWith(QStringLiteral("Node.js was not found."))
                                << "Torvane could not start"
                                << "Node.js was not found." << false << true;
    }

    void phases()
    {
        QFETCH(LocalServiceStartPhase, phase);
        QFETCH(QString, title);
        QFETCH(QString, detail);
        QCOMPARE(phase.title(), title);
        QCOMPARE(phase.detail(), detail);
        QTEST(phase.isInProgress(), "inProgress");
        QTEST(phase.isFailure(), "failure");
    }

    void failedPhasesDifferByMessage()
    {
        QVERIFY(LocalServiceStartPhase::failedWith(QStringLiteral("a")) == LocalServiceStartPhase::failedWith(QStringLiteral("a")));
        QVERIFY(!(LocalServiceStartPhase::failedWith(QStringLiteral("a")) == LocalServiceStartPhase::failedWith(QStringLiteral("b"))));
        QVERIFY(!(LocalServiceStartPhase(Kind::startFailed) == LocalServiceStartPhase::failedWith(QString())));
    }
};

QTEST_GUILESS_MAIN(TestLocalServiceStartPhase)
#include "tst_LocalServiceStartPhase.moc"
