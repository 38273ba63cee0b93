#include "FirstRunWelcomeView.h"
#include "MainContentView.h"
#include "MainWindow.h"
#include "ModelTestSupport.h"
#include "NativeShellView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The main window over a model whose control script is a stand-in that reports an installed,
// stopped service: nothing here may start a service without the user confirming.
// With TVN_UI_SCREENSHOT_DIR set, the window is saved there for a visual check.
namespace {

QString labelText(const QWidget *window, const char *name)
{
    const auto *label = window->findChild<QLabel *>(QLatin1StringView(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1StringView(name));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_script = std::make_unique<FakeControlScript>();
        QVERIFY(m_script->isReady());
        QVERIFY(m_script->answer(QStringLiteral("status"), {{QStringLiteral("launchAgent"), QStringLiteral("installed")}}));
        m_clipboard = std::make_shared<RecordingClipboard>();
        m_model = std::make_unique<AppModel>(
            modelDependencies(m_script->context(), std::make_shared<SupervisionClock>(), m_clipboard));
        m_window = std::make_unique<MainWindow>(m_model.get());
    }

    void cleanup()
    {
        QVERIFY(waitUntil([this] { return !m_model->isRefreshing() && !m_model->supervision()->localServiceActionInProgress(); }, 20000));
        m_window.reset();
        m_model.reset();
    }

    void opensAtItsSizeAndRefreshesOnce()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Torvane Dev"));
        QCOMPARE(m_window->size(), QSize(1180, 760));
        QCOMPARE(m_window->minimumSize(), QSize(980, 680));

        m_window->show();
        QVERIFY(waitUntil([this] { return m_script->commands().contains(QStringLiteral("status")); }, 10000));
        QVERIFY(waitUntil([this] { return !m_model->isRefreshing(); }, 10000));
        m_window->hide();
        m_window->show();
        QVERIFY(waitUntil([this] { return !m_model->isRefreshing(); }, 10000));
        QCOMPARE(m_script->commands(), QStringList{QStringLiteral("status")});

        // Installed but off, nothing starting: the first-run welcome with its one button.
        QCOMPARE(m_window->contentView()->surface(), RootSurface::firstRunWelcome);
        QCOMPARE(m_window->contentView()->currentScreen(), m_window->contentView()->welcomeView());
        QCOMPARE(labelText(m_window.get(), "welcomeHeadline"),
                 QStringLiteral("Turn app keys into safe agent access on this computer."));
        QCOMPARE(m_window->contentView()->welcomeView()->turnOnButton()->text(), QStringLiteral("Turn on Torvane"));
        saveScreenshot(QStringLiteral("main-window-welcome"));
    }

    void turningOnAsksFirstAndCancelStartsNothing()
    {
        m_window->show();
        QVERIFY(waitUntil([this] { return !m_model->isRefreshing(); }, 10000));

        QString title, text, informative, sheetName, confirmName;
        QStringList buttons;
        QTimer::singleShot(0, this, [&] {
            auto *sheet = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            sheetName = sheet->objectName();
            title = sheet->windowTitle();
            text = sheet->text();
            informative = sheet->informativeText();
            for (QAbstractButton *button : sheet->buttons()) {
                buttons << button->text().remove(QLatin1Char('&'));
                if (buttons.last() == QLatin1StringView("Turn On"))
                    confirmName = button->objectName();
            }
            sheet->button(QMessageBox::Cancel)->click();
        });
        m_window->contentView()->welcomeView()->turnOnButton()->click();

        QCOMPARE(sheetName, QStringLiteral("tvn-first-run-confirmation"));
        QCOMPARE(confirmName, QStringLiteral("tvn-first-run-confirm-turn-on"));
        QCOMPARE(title, QStringLiteral("Turn on Torvane on this computer?"));
        QCOMPARE(text, QStringLiteral("Turn on Torvane on this computer?"));
        QVERIFY(informative.startsWith(QStringLiteral("Torvane will turn on a private helper on this computer")));
        QVERIFY(buttons.contains(QStringLiteral("Turn On")));
        QVERIFY(buttons.contains(QStringLiteral("Cancel")));
        QTest::qWait(200);
        QVERIFY(!m_script->commands().contains(QStringLiteral("install")));
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), LocalServiceStartPhase::Kind::idle);
    }

    void showsThePhaseWhileWorkingAndCopiesDebugInfo()
    {
        m_window->show();
        QVERIFY(waitUntil([this] { return !m_model->isRefreshing(); }, 10000));
        m_model->supervision()->setStartPhase(LocalServiceStartPhase::Kind::staleBroker);
        // A failure phase brings the native shell with its repair controls.
        QCOMPARE(m_window->contentView()->surface(), RootSurface::nativeShell);
        QCOMPARE(labelText(m_window.get(), "servicePhase"), QStringLiteral("A different local service is running"));
        QCOMPARE(labelText(m_window.get(), "servicePhaseDetail"),
                 QStringLiteral("Another local service is on TVN's port. Repair & Restart to use this app's service."));
        QCOMPARE(labelText(m_window.get(), "statusBanner"), QStringLiteral("A different local service is running"));

        m_window->contentView()->nativeShellView()->findChild<QPushButton *>(QStringLiteral("copyServiceDebugInfo"))->click();
        QCOMPARE(m_clipboard->texts.size(), 1);
        QVERIFY(m_clipboard->texts.first().startsWith(QStringLiteral("Torvane — service debug info\n")));
        QCOMPARE(labelText(m_window.get(), "statusBanner"), QStringLiteral("Service debug info copied (no secrets)"));
        saveScreenshot(QStringLiteral("main-window-native-shell"));
    }

private:
    void saveScreenshot(const QString &name) const
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        if (!directory.isEmpty())
            m_window->grab().save(QDir(directory).filePath(name + QStringLiteral(".png")));
    }

    std::unique_ptr<FakeControlScript> m_script;
    std::shared_ptr<RecordingClipboard> m_clipboard;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
