#include "AppPalette.h"
#include "ModelTestSupport.h"
#include "ServiceStartConfirmation.h"
#include "ServiceStatusView.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

// The window fixes a new user asked for: the turn-on confirmation is readable where the view's
// light label colour leaks into it, "Continue" on a running service asks nothing and installs
// nothing, and Stop waits for something to stop. The control script is the model tests'
// stand-in, so nothing real is started.
namespace {
QMessageBox *openMessageBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}
} // namespace

class TestShellWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeControlScript> m_script;
    std::unique_ptr<AppModel> m_model;

    void answerStatus(const QVariantMap &fields)
    {
        QVERIFY(m_script->answer(QStringLiteral("status"), fields));
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());
    }

private slots:
    void initTestCase() { AppPalette::apply(*qApp); }

    void init()
    {
        m_script = std::make_unique<FakeControlScript>();
        QVERIFY(m_script->isReady());
        m_model = std::make_unique<AppModel>(modelDependencies(m_script->context(), std::make_shared<SupervisionClock>(),
                                                               std::make_shared<RecordingClipboard>()));
    }

    void cleanup()
    {
        QVERIFY(waitUntil([this] { return !m_model->isRefreshing(); }, 20000));
        m_model.reset();
    }

    void theTurnOnConfirmationIsReadable()
    {
        answerStatus({{QStringLiteral("status"), QStringLiteral("not_installed")}});
        ServiceStatusView view(m_model.get());
        view.show();
        QList<double> contrasts;
        QTimer::singleShot(0, this, [&] {
            QMessageBox *box = openMessageBox();
            QVERIFY(box);
            const QColor background = box->palette().color(QPalette::Window);
            for (QLabel *label : box->findChildren<QLabel *>()) {
                if (label->isVisible() && !label->text().isEmpty())
                    contrasts << AppPalette::contrastRatio(label->palette().color(label->foregroundRole()), background);
            }
            for (QPushButton *button : box->findChildren<QPushButton *>())
                contrasts << AppPalette::contrastRatio(button->palette().color(QPalette::ButtonText),
                                                       button->palette().color(QPalette::Button));
            box->reject();
        });
        QVERIFY(!ServiceStartConfirmation::ask(*m_model, &view, QStringLiteral("serviceConfirmation")));
        QVERIFY(contrasts.size() >= 3);
        for (const double contrast : contrasts)
            QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("contrast %1 is below 4.5").arg(contrast)));
    }

    void stopWaitsForSomethingToStop_data()
    {
        QTest::addColumn<QVariantMap>("status");
        QTest::addColumn<bool>("stoppable");
        QTest::newRow("nothing installed") << QVariantMap{{"status", "not_installed"}, {"launchAgent", "not_installed"}} << false;
        QTest::newRow("installed, off") << QVariantMap{} << true;
        QTest::newRow("a broker listening") << QVariantMap{{"status", "not_installed"}, {"launchAgent", "not_installed"}, {"broker", "listening"}}
                                            << true;
    }
    void stopWaitsForSomethingToStop()
    {
        QFETCH(QVariantMap, status);
        answerStatus(status);
        ServiceStatusView view(m_model.get());
        QTEST(view.stopButton()->isEnabled(), "stoppable");
    }

    void continueOnARunningServiceAsksNothingAndInstallsNothing()
    {
        answerStatus({{QStringLiteral("status"), QStringLiteral("ready")}, {QStringLiteral("broker"), QStringLiteral("listening")},
                      {QStringLiteral("launchAgent"), QStringLiteral("loaded")}});
        BrokerHealth health;
        health.ok = true;
        health.service = QStringLiteral("switchyard-broker");
        m_model->snapshot()->setHealth(health);
        m_model->snapshot()->setBrokerIdentityVerified(true);
        QCOMPARE(m_model->supervision()->primaryServiceActionTitle(), QStringLiteral("Continue"));

        bool boxShown = false;
        QTimer::singleShot(0, this, [&] {
            if (QMessageBox *box = openMessageBox()) {
                boxShown = true;
                box->reject();
            }
        });
        QVERIFY(ServiceStartConfirmation::ask(*m_model, nullptr, QStringLiteral("serviceConfirmation")));
        QTest::qWait(50);
        QVERIFY(!boxShown);

        QSignalSpy forward(m_model->supervision(), &ServiceSupervision::mainWindowForwardRequested);
        QCoro::waitFor(m_model->confirmLocalServiceStartOrRepair());
        QVERIFY(!m_script->commands().contains(QStringLiteral("install")));
        QCOMPARE(forward.size(), 1);
    }
};

QTEST_MAIN(TestShellWindows)
#include "tst_ShellWindows.moc"
