#include "ModelTestSupport.h"
#include "LocalServiceControlError.h"
#include "ServiceEnvironment.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// The model against the real control script and broker of this checkout, in a temporary home.
// Binds the development broker port; every test stops what it started.
namespace {

using Kind = LocalServiceStartPhase::Kind;

} // namespace

class TestAppModelLocalService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 30000),
                 "another process holds port 47382; the development broker cannot be tested");
    }

    void init()
    {
        m_home.emplace();
        QVERIFY(m_home->isValid());
        m_context.emplace(modelServiceContext(m_home->path(), QStringLiteral(TVN_BINARY_DIR)));
        m_clipboard = std::make_shared<RecordingClipboard>();
        m_model = std::make_unique<AppModel>(modelDependencies(*m_context, std::make_shared<SupervisionClock>(), m_clipboard));
    }

    void cleanup()
    {
        m_model.reset();
        LocalServiceController controller(*m_context);
        try {
            QCoro::waitFor(controller.run(LocalServiceCommand::stop));
        } catch (const LocalServiceControlError &) {
            // Nothing was installed.
        }
        if (m_otherBroker && m_otherBroker->state() != QProcess::NotRunning) {
            m_otherBroker->kill();
            m_otherBroker->waitForFinished(5000);
        }
        m_otherBroker.reset();
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 10000), "the broker port stayed busy after the test");
    }

    void turnsOnFromNothingThenOff()
    {
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->supervision()->localServiceStatusTitle(), QStringLiteral("Torvane is off"));
        QCOMPARE(m_model->supervision()->primaryServiceActionTitle(), QStringLiteral("Turn on Torvane"));

        QList<Kind> phases;
        connect(m_model->supervision(), &ServiceSupervision::localServiceStartPhaseChanged, this,
                [this, &phases] { phases.append(m_model->supervision()->localServiceStartPhase().kind()); });
        QSignalSpy forward(m_model->supervision(), &ServiceSupervision::mainWindowForwardRequested);

        QCoro::Task<> start = m_model->installOrStartLocalService();
        QVERIFY(m_model->supervision()->localServiceActionInProgress());
        QCoro::Task<> secondClick = m_model->installOrStartLocalService();
        QVERIFY2(secondClick.isReady(), "a second Turn on while a start runs must return at once");
        QCoro::waitFor(std::move(start));

        QVERIFY(!m_model->supervision()->localServiceActionInProgress());
        QCOMPARE(phases.first(), Kind::installing);
        QVERIFY(phases.contains(Kind::checkingKeychain));
        QCOMPARE(phases.last(), Kind::ready);
        QCOMPARE(forward.count(), 1);
        QCOMPARE(m_model->supervision()->localServiceStatus().status, QStringLiteral("ready"));
        QVERIFY(m_model->brokerIdentityVerified());
        QCOMPARE(m_model->snapshot()->brokerPeerTrustLabel(), QStringLiteral("unenforceable: host app is not Developer ID signed"));
        QCOMPARE(m_model->supervision()->localServiceStatusTitle(), QStringLiteral("Torvane is on"));
        QCOMPARE(m_model->supervision()->localServiceStatusDetail(),
                 QStringLiteral("Torvane is on. Create your TVN password so apps can connect."));
        QCOMPARE(m_model->supervision()->primaryServiceActionTitle(), QStringLiteral("Continue"));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Torvane is on"));
        QVERIFY(portAcceptsConnections());

        QCoro::waitFor(m_model->stopLocalService());
        QVERIFY(!portAcceptsConnections());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::idle);
        QCOMPARE(m_model->supervision()->localServiceStatusTitle(), QStringLiteral("Torvane is ready to turn on"));
        QVERIFY(!m_model->brokerIdentityVerified());
    }

    void leavesAPortSquatterAlone()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, developmentPort));

        QCoro::waitFor(m_model->installOrStartLocalService());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::portConflict);
        QCOMPARE(m_model->supervision()->localServiceStatusTitle(), QStringLiteral("Another local service is already running"));
        QCOMPARE(m_model->supervision()->primaryServiceActionTitle(), QStringLiteral("Check Again"));
        QVERIFY(!m_model->brokerIdentityVerified());

        // Confirming again only checks again; the squatter keeps its port.
        QCoro::waitFor(m_model->confirmLocalServiceStartOrRepair());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::portConflict);
        QVERIFY(squatter.isListening());
        QVERIFY(portAcceptsConnections());
    }

    void replacesABrokerOfAnotherBuildOnLaunch()
    {
        QVERIFY(startBroker(QStringLiteral("0.9.0+older")));
        QVERIFY(writeRunLock(m_otherBroker->processId(), QStringLiteral("0.9.0+older")));

        QStringList messages;
        connect(&m_model->context()->status(), &StatusReporter::statusMessageChanged, this, [&] { messages << m_model->statusMessage(); });
        QCoro::waitFor(m_model->refresh());

        QVERIFY2(waitUntil([this] { return m_otherBroker->state() == QProcess::NotRunning; }, 10000),
                 "the older build's broker was left running");
        QVERIFY2(messages.contains(QStringLiteral("Restarting the background service…")), qPrintable(messages.join(" | ")));
        QVERIFY2(messages.contains(QStringLiteral("Restarted the background service.")), qPrintable(messages.join(" | ")));
        QCOMPARE(messages.last(), QStringLiteral("Local service checked"));
        QCOMPARE(m_model->supervision()->localServiceStatus().status, QStringLiteral("ready"));
        QCOMPARE(m_model->supervision()->localServiceStatus().brokerBuildId, std::optional<QString>(QStringLiteral("development")));
        QVERIFY(m_model->brokerIdentityVerified());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::ready);
        QCOMPARE(m_model->supervision()->localServiceStatusTitle(), QStringLiteral("Torvane is on"));
        QVERIFY(!m_model->supervision()->localServiceReconcileInProgress());
    }

    void keepsABrokerOfTheSameBuild()
    {
        QVERIFY(startBroker(QStringLiteral("development")));
        const qint64 pid = m_otherBroker->processId();

        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->supervision()->localServiceStatus().status, QStringLiteral("ready"));
        QCOMPARE(m_model->supervision()->localServiceStatusTitle(), QStringLiteral("Torvane is on"));

        QCoro::waitFor(m_model->confirmLocalServiceStartOrRepair());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::ready);
        QCOMPARE(m_otherBroker->state(), QProcess::Running);
        QCOMPARE(m_otherBroker->processId(), pid);
    }

private:
    // A broker of this checkout started by hand, as an earlier build of this install would have.
    bool startBroker(const QString &buildId)
    {
        QProcessEnvironment environment = ServiceEnvironment::build(m_context->identity, m_context->environment, {});
        environment.insert(QStringLiteral("SWITCHYARD_BUILD_ID"), buildId);
        m_otherBroker = std::make_unique<QProcess>();
        m_otherBroker->setProcessEnvironment(environment);
        m_otherBroker->setWorkingDirectory(QStringLiteral(TVN_SOURCE_DIR));
        m_otherBroker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_otherBroker->start(QStringLiteral("node"), {QStringLiteral("server/main.mjs")});
        return m_otherBroker->waitForStarted(5000) && waitUntil(portAcceptsConnections, 15000);
    }

    bool writeRunLock(qint64 pid, const QString &buildId) const
    {
        const QJsonObject lock{{QStringLiteral("buildId"), buildId},
                               {QStringLiteral("pid"), pid},
                               {QStringLiteral("startedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
        const QString path = m_context->identity.stateRootPath() + QStringLiteral("/run.lock");
        if (!writeFile(path, QJsonDocument(lock).toJson(QJsonDocument::Compact)))
            return false;
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner)
            && QFile::setPermissions(m_context->identity.stateRootPath(),
                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::optional<QTemporaryDir> m_home;
    std::optional<LocalServiceContext> m_context;
    std::shared_ptr<RecordingClipboard> m_clipboard;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<QProcess> m_otherBroker;
};

QTEST_GUILESS_MAIN(TestAppModelLocalService)
#include "tst_AppModelLocalService.moc"
