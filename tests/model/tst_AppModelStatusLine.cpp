#include "ModelTestSupport.h"

#include <QSignalSpy>
#include <QTest>

// The status line, its banners and the running-action keys. No service command runs here.
class TestAppModelStatusLine : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(m_home.isValid());
        const LocalServiceContext context = modelServiceContext(m_home.path(), m_home.path());
        m_model = std::make_unique<AppModel>(
            modelDependencies(context, std::make_shared<SupervisionClock>(), std::make_shared<RecordingClipboard>()));
    }

    void classifyStatus_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<StatusBanner::Kind>("kind");
        QTest::newRow("copied") << "Service debug info copied (no secrets)" << StatusBanner::Kind::success;
        QTest::newRow("checked") << "Local service checked" << StatusBanner::Kind::success;
        QTest::newRow("ends with ok") << "Proof OK" << StatusBanner::Kind::success;
        QTest::newRow("ok inside a word") << "Token looks fine" << StatusBanner::Kind::info;
        QTest::newRow("success wins over working") << "Checking: 2 connected" << StatusBanner::Kind::success;
        QTest::newRow("exporting") << "Exporting encrypted backup" << StatusBanner::Kind::working;
        QTest::newRow("starting, any case") << "STARTING local service…" << StatusBanner::Kind::working;
        QTest::newRow("checking only at the start") << "Re-checking" << StatusBanner::Kind::info;
        QTest::newRow("locked") << "Locked" << StatusBanner::Kind::info;
        QTest::newRow("unlocked") << "Vault unlocked" << StatusBanner::Kind::success;
    }

    void classifyStatus()
    {
        QFETCH(QString, message);
        QTEST(AppModel::classifyStatus(message), "kind");
    }

    void sameTextTwicePublishesOneBanner()
    {
        QSignalSpy banners(&m_model->context()->status(), &StatusReporter::statusBannerChanged);
        m_model->setStatusMessage(QStringLiteral("Checking TVN"));
        m_model->setStatusMessage(QStringLiteral("Checking TVN"));
        QCOMPARE(banners.count(), 1);
        QCOMPARE(m_model->statusBanner(), (StatusBanner{QStringLiteral("Checking TVN"), StatusBanner::Kind::working, 1}));
    }

    void failureIsAnErrorBannerUntilTheNextText()
    {
        m_model->fail(QStringLiteral("TVN service unavailable"));
        QCOMPARE(m_model->statusBanner().kind, StatusBanner::Kind::error);
        QCOMPARE(m_model->lastActionError(), QStringLiteral("TVN service unavailable"));

        m_model->setStatusMessage(QStringLiteral("Local service checked"));
        QCOMPARE(m_model->statusBanner().kind, StatusBanner::Kind::success);
        QCOMPARE(m_model->statusBanner().seq, 2);
        QVERIFY(m_model->lastActionError().isEmpty());
    }

    void failureWithTheCurrentTextPublishesNoBanner()
    {
        m_model->setStatusMessage(QStringLiteral("Stopping TVN local service"));
        QSignalSpy banners(&m_model->context()->status(), &StatusReporter::statusBannerChanged);
        m_model->fail(QStringLiteral("Stopping TVN local service"));
        QCOMPARE(banners.count(), 0);
        QCOMPARE(m_model->lastActionError(), QStringLiteral("Stopping TVN local service"));
    }

    void runningActionsRefuseASecondStart()
    {
        QVERIFY(m_model->context()->actions().begin(QStringLiteral("approve:a1")));
        QVERIFY(!m_model->context()->actions().begin(QStringLiteral("approve:a1")));
        QVERIFY(m_model->context()->actions().begin(QStringLiteral("health")));
        QCOMPARE(m_model->runningActions(), (QStringList{QStringLiteral("approve:a1"), QStringLiteral("health")}));
        m_model->context()->actions().end(QStringLiteral("approve:a1"));
        QVERIFY(!m_model->context()->actions().contains(QStringLiteral("approve:a1")));
        QVERIFY(m_model->context()->actions().begin(QStringLiteral("approve:a1")));
    }

    void initialState()
    {
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), LocalServiceStartPhase::Kind::idle);
        QCOMPARE(m_model->statusBanner().seq, 0);
        QCOMPARE(m_model->brokerURL(), QUrl(QStringLiteral("http://127.0.0.1:47382")));
        QCOMPARE(m_model->brokerPort(), 47382);
        QVERIFY(!m_model->health().ok);
        QVERIFY(!m_model->brokerIdentityVerified());
    }

private:
    QTemporaryDir m_home;
    std::unique_ptr<AppModel> m_model;
};

QTEST_GUILESS_MAIN(TestAppModelStatusLine)
#include "tst_AppModelStatusLine.moc"
