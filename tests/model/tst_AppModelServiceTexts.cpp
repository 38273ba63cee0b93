#include "ModelTestSupport.h"

#include <QTest>

// What the service surface says for each status the control script can print. A stand-in
// script prints the status: the real one cannot be made to print every combination.
class TestAppModelServiceTexts : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_script = std::make_unique<FakeControlScript>();
        QVERIFY(m_script->isReady());
        m_clipboard = std::make_shared<RecordingClipboard>();
        m_model = std::make_unique<AppModel>(
            modelDependencies(m_script->context(), std::make_shared<VirtualClock>(), m_clipboard));
    }

    void texts_data()
    {
        QTest::addColumn<QVariantMap>("status"); // empty: the status command fails
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("primary");
        QTest::addColumn<QString>("confirmationTitle");
        QTest::addColumn<QString>("confirmButton");
        QTest::addColumn<bool>("repairRequired");

        const QString turnOnTitle = QStringLiteral("Turn on Torvane on this computer?");
        const QString repairTitle = QStringLiteral("Repair and restart Torvane?");
        const QString staleTail = QStringLiteral(" is on TVN's port. Repair & Restart to run this app's local-vault "
                                                 "service and refresh the agent handoff path.");
        // "@HOME@" stands for the temporary home directory.

        QTest::newRow("unreadable status") << QVariantMap() << "Torvane status unavailable"
                                           << "TVN could not read the local service status. Check again, or use "
                                              "Repair & Restart if it keeps failing."
                                           << "Turn on Torvane" << turnOnTitle << "Turn On" << false;
        QTest::newRow("not installed")
            << QVariantMap{{"status", "not_installed"}, {"launchAgent", "not_installed"}} << "Torvane is off"
            << "Turn on Torvane once. It only listens on this computer and keeps your app keys in the local vault."
            << "Turn on Torvane" << turnOnTitle << "Turn On" << false;
        QTest::newRow("installed") << QVariantMap{{"launchAgent", "installed"}} << "Torvane is ready to turn on"
                                   << "Turn on Torvane, then your apps will appear with simple Connect buttons."
                                   << "Turn on Torvane" << turnOnTitle << "Turn On" << false;
        QTest::newRow("port conflict")
            << QVariantMap{{"status", "port_conflict"}, {"broker", "port_conflict"}}
            << "Another local service is already running"
            << "Something else is already using the Torvane local port. Close the other TVN/dev service, then check "
               "again."
            << "Check Again" << "Another local service is already running" << "Turn On" << true;
        QTest::newRow("start failed with a summary")
            << QVariantMap{{"status", "start_failed"}, {"broker", "start_failed"},
                           {"lastErrorSummary", "Error: listen EADDRINUSE 127.0.0.1:47382"}}
            << "Torvane could not start" << "Startup needs attention: Error: listen EADDRINUSE 127.0.0.1:47382"
            << "Repair & Restart" << repairTitle << "Repair & Restart" << true;
        QTest::newRow("start failed, empty summary")
            << QVariantMap{{"broker", "start_failed"}, {"lastErrorSummary", ""}} << "Torvane could not start"
            << "Startup needs attention. Try Repair & Restart, or open the logs from Security & recovery."
            << "Repair & Restart" << repairTitle << "Repair & Restart" << true;
        QTest::newRow("stale broker under home")
            << QVariantMap{{"status", "stale_broker"}, {"broker", "mismatch"}, {"brokerServiceRoot", "@HOME@/old/torvane"}}
            << "Different Torvane service is running" << "A different local service (~/old/torvane)" + staleTail
            << "Repair & Restart" << "Fix Torvane on this computer?" << "Repair & Restart" << true;
        QTest::newRow("stale by match flag, path elsewhere")
            << QVariantMap{{"status", "ready"}, {"broker", "listening"}, {"brokerMatchesInstall", false},
                           {"brokerServiceRoot", "/opt/other/torvane"}}
            << "Different Torvane service is running" << "A different local service (/opt/other/torvane)" + staleTail
            << "Repair & Restart" << "Fix Torvane on this computer?" << "Repair & Restart" << true;
        QTest::newRow("stale, a sibling of home is not home")
            << QVariantMap{{"broker", "mismatch"}, {"brokerServiceRoot", "@HOME@2/torvane"}}
            << "Different Torvane service is running" << "A different local service (@HOME@2/torvane)" + staleTail
            << "Repair & Restart" << "Fix Torvane on this computer?" << "Repair & Restart" << true;
        QTest::newRow("stale, blank service root") << QVariantMap{{"broker", "mismatch"}, {"brokerServiceRoot", "  "}}
                                                   << "Different Torvane service is running"
                                                   << "A different local service" + staleTail << "Repair & Restart"
                                                   << "Fix Torvane on this computer?" << "Repair & Restart" << true;
    }

    void texts()
    {
        QFETCH(QVariantMap, status);
        const QString home = m_script->home();
        const auto withHome = [&home](QString text) { return text.replace(QStringLiteral("@HOME@"), home); };
        for (auto it = status.begin(); it != status.end(); ++it) {
            if (it.value().typeId() == QMetaType::QString)
                it.value() = withHome(it.value().toString());
        }
        if (!status.isEmpty())
            QVERIFY(m_script->answer(QStringLiteral("status"), status));

        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());

        QTEST(m_model->supervision()->localServiceStatusTitle(), "title");
        QFETCH(QString, detail);
        QCOMPARE(m_model->supervision()->localServiceStatusDetail(), withHome(detail));
        QTEST(m_model->supervision()->primaryServiceActionTitle(), "primary");
        QTEST(m_model->supervision()->serviceConfirmationTitle(), "confirmationTitle");
        QTEST(m_model->supervision()->serviceConfirmationButtonTitle(), "confirmButton");
        QTEST(m_model->supervision()->localServiceRepairRequired(), "repairRequired");
    }

    void confirmationMessagesNameTheBrokerAddress_data()
    {
        QTest::addColumn<QVariantMap>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("port conflict")
            << QVariantMap{{"status", "port_conflict"}}
            << "Torvane will not replace an unknown local process automatically. Close the other service using "
               "http://127.0.0.1:47382, then click Check Again.";
        QTest::newRow("stale broker")
            << QVariantMap{{"status", "stale_broker"}}
            << "Torvane found another local service on http://127.0.0.1:47382. Fixing this stops the old local "
               "process and starts this app's Torvane service, so you know exactly which app your agents are "
               "talking to.";
        QTest::newRow("start failed")
            << QVariantMap{{"status", "start_failed"}}
            << "Torvane will reinstall its private local helper and restart it. Your connected app credentials stay "
               "in the local vault; this only repairs the local service.";
        QTest::newRow("otherwise") << QVariantMap{{"status", "installed"}}
                                   << "Torvane will turn on a private helper on this computer so your apps can connect. It "
                                      "only accepts connections from this computer, keeps your real app keys here, and "
                                      "gives agents only limited keys.";
    }

    void confirmationMessagesNameTheBrokerAddress()
    {
        QFETCH(QVariantMap, status);
        QVERIFY(m_script->answer(QStringLiteral("status"), status));
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());
        QTEST(m_model->supervision()->serviceConfirmationMessage(), "message");
    }

    void unavailableStatusNeedsRepairOnlyAfterAFailedStart()
    {
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());
        QVERIFY(!m_model->supervision()->localServiceUnavailableNeedsManualCheck());
        m_model->supervision()->setStartPhase(LocalServiceStartPhase::Kind::timedOut);
        QVERIFY(m_model->supervision()->localServiceUnavailableNeedsManualCheck());
        QVERIFY(m_model->supervision()->localServiceRepairRequired());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Startup is taking longer than expected"));
        QCOMPARE(m_model->supervision()->localServiceMessage(), LocalServiceStartPhase(LocalServiceStartPhase::Kind::timedOut).detail());
    }

    void debugInfoReplacesTheClipboard_data()
    {
        QTest::addColumn<QVariantMap>("status");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("a stale broker")
            << QVariantMap{{"status", "stale_broker"}, {"broker", "mismatch"}, {"buildId", "development"},
                           {"buildChannel", "development"}, {"brokerBuildId", "0.9.1+40"},
                           {"brokerMatchesInstall", false}, {"brokerTrustedAppPathsMatch", true}}
            << QStringList{"Torvane — service debug info", "App build: development (development)",
                           "Release build ID: 0.0.1+1", "Release source SHA: unknown", "Broker build: 0.9.1+40",
                           "Broker matches install: false", "Trusted paths match: true",
                           "Status: stale_broker / broker: mismatch"};
        QTest::newRow("nothing known") << QVariantMap{}
                                       << QStringList{"Torvane — service debug info", "App build: unknown (unknown)",
                                                      "Release build ID: 0.0.1+1", "Release source SHA: unknown",
                                                      "Broker build: not running", "Broker matches install: unknown",
                                                      "Trusted paths match: unknown",
                                                      "Status: unavailable / broker: not_listening"};
    }

    void debugInfoReplacesTheClipboard()
    {
        QFETCH(QVariantMap, status);
        if (!status.isEmpty())
            QVERIFY(m_script->answer(QStringLiteral("status"), status));
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());
        m_model->copyServiceDebugInfo();
        QCOMPARE(m_clipboard->texts.size(), 1);
        QFETCH(QStringList, lines);
        QCOMPARE(m_clipboard->texts.first().split(QLatin1Char('\n')), lines);
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Service debug info copied (no secrets)"));
        QCOMPARE(m_model->statusBanner().kind, StatusBanner::Kind::success);
    }

private:
    std::unique_ptr<FakeControlScript> m_script;
    std::shared_ptr<RecordingClipboard> m_clipboard;
    std::unique_ptr<AppModel> m_model;
};

QTEST_GUILESS_MAIN(TestAppModelServiceTexts)
#include "tst_AppModelServiceTexts.moc"
