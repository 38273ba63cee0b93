#include "AppPalette.h"
#include "ModelTestSupport.h"
#include "LocalServiceController.h"
#include "ServiceStartConfirmation.h"
#include "ServiceStatusView.h"
#include "SettingsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QUrlQuery>

// The window fixes a new user asked for: the turn-on confirmation is readable where the view's
// light label colour leaks into it, "Continue" on a running service asks nothing and installs
// nothing, and Stop waits for something to stop. The control script is the model tests'
// stand-in, so nothing real is started. The settings window's panes are checked through their
// sidebar; with TVN_UI_SCREENSHOT_DIR set, each pane is saved there at the window's default and
// minimum sizes for a visual check.
namespace {
QMessageBox *openMessageBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Every text the visible part of `root` shows: labels, buttons and check boxes.
QStringList shownTexts(const QWidget *root)
{
    QStringList texts;
    for (const QLabel *label : root->findChildren<QLabel *>()) {
        if (label->isVisibleTo(root))
            texts << label->text();
    }
    for (const QAbstractButton *button : root->findChildren<QAbstractButton *>()) {
        if (button->isVisibleTo(root))
            texts << button->text();
    }
    return texts;
}

// Takes the URLs the settings hand to the desktop instead of opening a browser or mail app.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    OpenedUrls()
    {
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
    }
    ~OpenedUrls() override
    {
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

const QString operatorSecret = QStringLiteral("tvn-session-0123456789abcdef");
} // namespace

class TestShellWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeControlScript> m_script;
    std::shared_ptr<RecordingClipboard> m_clipboard;
    std::unique_ptr<AppModel> m_model;

    void populateOperatorData()
    {
        answerStatus({{QStringLiteral("status"), QStringLiteral("ready")}, {QStringLiteral("broker"), QStringLiteral("listening")},
                      {QStringLiteral("launchAgent"), QStringLiteral("loaded")}});
        BrokerHealth health;
        health.ok = true;
        health.service = QStringLiteral("switchyard-broker");
        BrokerSnapshot &snapshot = *m_model->snapshot();
        snapshot.setHealth(health);
        QList<ConnectorSummary> connectors;
        for (const char *id : {"github", "telegram", "sentry"}) {
            ConnectorSummary connector;
            connector.id = QLatin1String(id);
            connector.displayName = connector.id;
            connectors << connector;
        }
        snapshot.setConnectors(connectors);
        ConnectionSummary connection;
        connection.connectorId = QStringLiteral("github");
        connection.status = QStringLiteral("connected");
        snapshot.setConnections({connection});
        QList<MasterKeySummary> keys;
        for (const char *status : {"active", "active", "revoked"}) {
            MasterKeySummary key;
            key.status = QLatin1String(status);
            keys << key;
        }
        snapshot.setMasterKeys(keys);
    }

    // The window at its default and its minimum size.
    static void saveScreenshots(SettingsWindow &window, const QString &name)
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        if (directory.isEmpty())
            return;
        for (const QSize size : {SettingsWindow::contentSize, SettingsWindow::minimumContentSize}) {
            window.resize(size);
            QCoreApplication::processEvents();
            const QString file = QStringLiteral("%1/%2-%3x%4.png").arg(directory, name).arg(size.width()).arg(size.height());
            QVERIFY(window.grab().save(file));
        }
    }

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
        m_clipboard = std::make_shared<RecordingClipboard>();
        m_model = std::make_unique<AppModel>(modelDependencies(m_script->context(), std::make_shared<SupervisionClock>(),
                                                               m_clipboard));
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

    void eachSettingsPaneShowsItsTexts_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<bool>("populated");
        QTest::addColumn<QStringList>("texts");
        // "%broker%", "%unit%" and "%bundle%" stand for this test's broker URL, systemd user unit path
        // and bundle identifier.
        QTest::newRow("general") << "general" << false
                                 << QStringList{"Follow system appearance", "Local service URL", "%broker%",
                                                "TVN only trusts this app's local loopback broker at %broker% or the equivalent "
                                                "localhost address. Remote and tunnel URLs are rejected here.",
                                                "Version", "v0.0.1 (development, build 1)", "Build ID", "0.0.1+1",
                                                "Bundle identifier", "%bundle%", "Source revision", "unknown"};
        QTest::newRow("security & secrets") << "security" << false
                                            << QStringList{"Credential custody", "Hardware-sealed unlock",
                                                           "Off: the unlock secret stays in owner-only local files",
                                                           "System login unlock",
                                                           "Linux authentication is unavailable on this computer.",
                                                           "Owner-only local vault state", "Raw secrets in diagnostics",
                                                           "Not expected in normal setup",
                                                           "Never paste provider API keys, agent keys, one-time codes, account "
                                                           "emails, or credential-store values into support tickets, "
                                                           "screenshots, docs, or proof artifacts.",
                                                           "Keyring trust", "Check"};
        QTest::newRow("agents, service off") << "agents" << false
                                             << QStringList{"Active agent keys", "Turn on the local service to see this",
                                                            "Agent write access", "Enforced while the local service is running"};
        QTest::newRow("agents, populated") << "agents" << true << QStringList{"Active agent keys", "2 active keys"};
        QTest::newRow("providers, service off") << "providers" << false
                                                << QStringList{"Connector catalog", "Linked provider records",
                                                               "Turn on the local service to see this"};
        QTest::newRow("providers, populated") << "providers" << true
                                              << QStringList{"Connector catalog", "3 apps", "Linked provider records", "1 record"};
        QTest::newRow("recovery") << "recovery" << false
                                  << QStringList{"Check Local Service", "Copy Debug Info", "Copy Recovery Checklist",
                                                 "Expected local address", "%broker%", "%unit%"};
        QTest::newRow("updates") << "updates" << false
                                 << QStringList{"Automatic updater", "Updates disabled for this build", "Check for Updates Now",
                                                "Offer to send crash reports"};
        QTest::newRow("support") << "support" << false
                                 << QStringList{"Open Support Page", "Draft Email to Support", "https://torvane.app/support",
                                                "support@torvane.app"};
    }
    void eachSettingsPaneShowsItsTexts()
    {
        QFETCH(QString, section);
        QFETCH(bool, populated);
        QFETCH(QStringList, texts);
        if (populated)
            populateOperatorData();
        SettingsWindow window(m_model.get(), QStringLiteral("Updates disabled for this build"), false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("tvn-settings-nav-") + section), Qt::LeftButton);

        auto *panes = window.findChild<QStackedWidget *>(QStringLiteral("tvn-settings-panes"));
        QWidget *shown = panes->currentWidget();
        QCOMPARE(shown->objectName(), QStringLiteral("tvn-settings-pane-") + section);
        QCOMPARE(SettingsPanes::sectionName(window.selectedPane()), section);
        const QStringList shownNow = shownTexts(shown);
        const QString unit = m_model->supervision()->controller().serviceUnitPath();
        for (QString text : texts) {
            text.replace(QStringLiteral("%broker%"), m_model->brokerURL().toString())
                .replace(QStringLiteral("%unit%"), unit)
                .replace(QStringLiteral("%bundle%"), m_model->identity().bundleIdentifier());
            QVERIFY2(shownNow.contains(text), qPrintable(QStringLiteral("\"%1\" not shown in %2").arg(text, section)));
        }
        // Linux wording only.
        static const QRegularExpression appleWords(QStringLiteral("\\bMac\\b|macOS|Touch ID|Keychain|LaunchAgents|Secure Enclave"));
        for (const QString &text : shownNow)
            QVERIFY2(!appleWords.match(text).hasMatch(), qPrintable(text));
        saveScreenshots(window, QStringLiteral("settings-") + section + (populated ? QStringLiteral("-populated") : QString()));
    }

    void theInitialSectionVariablePicksThePane_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("section");
        QTest::newRow("unset") << QByteArray() << "general";
        QTest::newRow("a section name") << QByteArray("recovery") << "recovery";
        QTest::newRow("a title, spaced and capitalised") << QByteArray("  Security & Secrets ") << "security";
        QTest::newRow("upper case") << QByteArray("UPDATES") << "updates";
        QTest::newRow("unrecognised") << QByteArray("billing") << "general";
    }
    void theInitialSectionVariablePicksThePane()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QString, section);
        if (variable.isNull())
            qunsetenv("TVN_SETTINGS_INITIAL_SECTION");
        else
            qputenv("TVN_SETTINGS_INITIAL_SECTION", variable);
        const auto restore = qScopeGuard([] { qunsetenv("TVN_SETTINGS_INITIAL_SECTION"); });
        SettingsWindow window(m_model.get(), QString(), false);
        QCOMPARE(SettingsPanes::sectionName(window.selectedPane()), section);
        QCOMPARE(window.findChild<QStackedWidget *>(QStringLiteral("tvn-settings-panes"))->currentWidget()->objectName(),
                 QStringLiteral("tvn-settings-pane-") + section);
        QVERIFY(window.findChild<QPushButton *>(QStringLiteral("tvn-settings-nav-") + section)->isChecked());
    }

    // The pane and the copied checklist name the registration the control script uses, and the
    // copy carries neither the operator session nor the home directory.
    void theRecoveryChecklistNamesTheRegistrationAndNoSecret_data()
    {
        QTest::addColumn<bool>("detached");
        QTest::addColumn<QString>("registration");
        QTest::newRow("systemd user unit") << false << "/.config/systemd/user/com.torvane.local.dev.service";
        QTest::newRow("detached service") << true << "/.torvane-dev/run.lock";
    }
    void theRecoveryChecklistNamesTheRegistrationAndNoSecret()
    {
        QFETCH(bool, detached);
        QFETCH(QString, registration);
        if (detached) {
            const QString stateRoot = m_model->identity().stateRootPath();
            QVERIFY(QDir().mkpath(stateRoot));
            QFile record(stateRoot + QStringLiteral("/service-install.json"));
            QVERIFY(record.open(QIODevice::WriteOnly));
            record.write(R"({"mode":"detached"})");
        }
        m_model->context()->setOperatorSessionID(operatorSecret);
        answerStatus({{QStringLiteral("status"), QStringLiteral("installed")}});
        qputenv("TVN_SETTINGS_INITIAL_SECTION", "recovery");
        const auto restore = qScopeGuard([] { qunsetenv("TVN_SETTINGS_INITIAL_SECTION"); });
        SettingsWindow window(m_model.get(), QString(), false);
        window.show();
        const QString home = m_model->identity().homeDirectoryPath();
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("settingsServiceRegistration"))->text(), home + registration);

        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("settingsCopyRecoveryChecklist")), Qt::LeftButton);
        QCOMPARE(m_clipboard->texts.size(), 1);
        const QString checklist = m_clipboard->texts.constFirst();
        QVERIFY2(checklist.contains(QStringLiteral("~") + registration), qPrintable(checklist));
        QVERIFY(checklist.contains(m_model->brokerURL().toString()));
        QVERIFY(checklist.contains(QStringLiteral("status installed")));
        QVERIFY(!checklist.contains(operatorSecret));
        QVERIFY2(!checklist.contains(home), qPrintable(checklist));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Recovery checklist copied (no secrets)"));
        saveScreenshots(window, QStringLiteral("settings-recovery-") + (detached ? QStringLiteral("detached") : QStringLiteral("systemd")));
    }

    void checkLocalServiceOnlyReadsTheStatus()
    {
        qputenv("TVN_SETTINGS_INITIAL_SECTION", "recovery");
        const auto restore = qScopeGuard([] { qunsetenv("TVN_SETTINGS_INITIAL_SECTION"); });
        SettingsWindow window(m_model.get(), QString(), false);
        window.show();
        QVERIFY(m_script->answer(QStringLiteral("status"), {{QStringLiteral("status"), QStringLiteral("installed")}}));
        auto *check = window.findChild<QPushButton *>(QStringLiteral("settingsCheckLocalService"));
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(!check->isEnabled());
        QVERIFY(waitUntil([check] { return check->isEnabled(); }, 20000));
        QCOMPARE(m_script->commands(), QStringList{QStringLiteral("status")});
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("settingsServiceTitle"))->text(),
                 m_model->supervision()->localServiceStatusTitle());
        QCOMPARE(m_model->supervision()->localServiceStatus().status, QStringLiteral("installed"));
    }

    void theSupportButtonsOpenTheProductsPageAndAReviewableDraft_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QUrl>("page");
        QTest::addColumn<QString>("address");
        QTest::newRow("no packaged destinations") << QVariantMap{} << QUrl("https://torvane.app/support") << "support@torvane.app";
        QTest::newRow("packaged destinations")
            << QVariantMap{{"TVNSupportURL", "https://help.example.org/torvane"}, {"TVNSupportEmail", "help@example.org"}}
            << QUrl("https://help.example.org/torvane") << "help@example.org";
        QTest::newRow("unsafe packaged values")
            << QVariantMap{{"TVNSupportURL", "javascript:alert(1)"}, {"TVNSupportEmail", "help@example.org?bcc=someone@else.org"}}
            << QUrl("https://torvane.app/support") << "support@torvane.app";
    }
    void theSupportButtonsOpenTheProductsPageAndAReviewableDraft()
    {
        QFETCH(QVariantMap, info);
        QFETCH(QUrl, page);
        QFETCH(QString, address);
        AppModel::Dependencies deps = modelDependencies(m_script->context(), std::make_shared<SupervisionClock>(), m_clipboard);
        deps.metadata = AppMetadata(info, deps.metadata.prefixDirectory());
        AppModel model(std::move(deps));
        model.context()->setOperatorSessionID(operatorSecret);
        SettingsWindow window(&model, QString(), false);
        window.selectPane(SettingsPane::support);
        OpenedUrls opened;
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("settingsOpenSupportPage")), Qt::LeftButton);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("settingsDraftSupportEmail")), Qt::LeftButton);
        QCOMPARE(opened.urls.size(), 2);
        QCOMPARE(opened.urls.at(0), page);
        const QUrl draft = opened.urls.at(1);
        QCOMPARE(draft.scheme(), QStringLiteral("mailto"));
        QCOMPARE(draft.path(), address);
        const QUrlQuery query(draft);
        QCOMPARE(query.queryItems().size(), 2);
        QVERIFY(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded).contains(QStringLiteral("0.0.1+1")));
        QVERIFY(!draft.toString().contains(operatorSecret));
    }

    void followSystemAppearanceIsStoredInverted()
    {
        UserDefaults &defaults = m_model->context()->userDefaults();
        SettingsWindow window(m_model.get(), QString(), false);
        auto *follow = window.findChild<QCheckBox *>(QStringLiteral("settingsFollowSystemAppearance"));
        QVERIFY(follow->isChecked());
        follow->click();
        QCOMPARE(defaults.storedBool(SettingsWindow::forceDarkAppearanceKey), std::optional<bool>(true));
        SettingsWindow reopened(m_model.get(), QString(), false);
        QVERIFY(!reopened.findChild<QCheckBox *>(QStringLiteral("settingsFollowSystemAppearance"))->isChecked());
    }

    // Tab reaches the sidebar, Up and Down move between panes, and every control has a name.
    void theSettingsAreKeyboardOperableAndNamed()
    {
        SettingsWindow window(m_model.get(), QString(), true);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto entry = [&window](const char *section) {
            return window.findChild<QPushButton *>(QStringLiteral("tvn-settings-nav-") + QLatin1String(section));
        };
        QVERIFY(entry("general")->focusPolicy() & Qt::TabFocus);
        entry("general")->setFocus();
        QCOMPARE(QApplication::focusWidget(), entry("general"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(window.selectedPane(), SettingsPane::security);
        QVERIFY(entry("security")->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(window.selectedPane(), SettingsPane::agents);
        saveScreenshots(window, QStringLiteral("settings-keyboard-focus"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(window.selectedPane(), SettingsPane::security);
        entry("general")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(window.selectedPane(), SettingsPane::security);
        QVERIFY(entry("general")->hasFocus());

        QStringList unnamed;
        for (const QAbstractButton *control : window.findChildren<QAbstractButton *>()) {
            if (control->accessibleName().isEmpty())
                unnamed << control->objectName();
        }
        QCOMPARE(unnamed, QStringList());
    }
};

QTEST_MAIN(TestShellWindows)
#include "tst_ShellWindows.moc"
