#include "CannedBrokerAnswers.h"
#include "ModelTestSupport.h"
#include "NativeOperatorUnlockFallback.h"
#include "NativeVaultSecurityFallback.h"
#include "VaultResetConfirmation.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The two native unlock screens over a model whose broker is a canned listener on the development
// port: it must hold a request open and must not really reset anything, which the real one will not.
using namespace CannedBroker;

namespace {
QString text(const QWidget *screen, const char *name)
{
    const auto *label = screen->findChild<QLabel *>(QLatin1StringView(name));
    return label && label->isVisible() ? label->text() : QString();
}
} // namespace

class TestNativeUnlockScreens : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QCOMPARE(m_canned.start(), QString());
        m_script = m_canned.script.get();
        m_broker = m_canned.broker.get();
        m_model = m_canned.model.get();
    }

    void cleanup()
    {
        m_screen.reset();
        m_canned.stop();
    }

    void operatorUnlockTexts_data()
    {
        QTest::addColumn<QString>("unlockMethod");
        QTest::addColumn<bool>("passphraseRequired");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("unlockHelp");
        QTest::addColumn<QString>("approval");
        const QString running = QStringLiteral("The local service is running. Unlock this computer's TVN vault to load "
                                               "your connected apps.");
        QTest::newRow("plaintext secret") << "local-file" << false << running
                                          << "Unlock the local TVN vault on this computer" << QString();
        // No login prompt can be shown in this test: the password-only wording and instruction.
        QTest::newRow("sealed to the TPM") << "secure-enclave" << false << running
                                           << "Open the Linux password prompt for Torvane"
                                           << "Linux authentication is unavailable on this computer.";
        QTest::newRow("password required") << "local-file" << true
                                           << "This computer's vault needs your TVN password to finish unlocking."
                                           << QString() << QString();
    }
    void operatorUnlockTexts()
    {
        QFETCH(QString, unlockMethod);
        QFETCH(bool, passphraseRequired);
        QFETCH(QString, subtitle);
        QFETCH(QString, unlockHelp);
        QFETCH(QString, approval);
        OperatorStatus status;
        status.enabled = true;
        status.unlockMethod = unlockMethod;
        m_model->snapshot()->setOperatorStatus(status);
        m_model->operatorSession()->setOperatorPassphraseRequired(passphraseRequired);
        auto *screen = new NativeOperatorUnlockFallback(m_model);
        m_screen.reset(screen);
        screen->setShowsRetryButton(true);
        m_model->setStatusMessage(QStringLiteral("Ready"));
        showScreen();

        QCOMPARE(text(screen, "unlockTitle"), QStringLiteral("Unlock Torvane"));
        QCOMPARE(text(screen, "unlockText"), subtitle);
        QCOMPARE(screen->unlockButton()->isVisible(), !passphraseRequired);
        if (!passphraseRequired)
            QCOMPARE(screen->unlockButton()->toolTip(), unlockHelp);
        QCOMPARE(text(screen, "approvalInstruction"), approval);
        QCOMPARE(text(screen, "passphraseIntro"),
                 passphraseRequired ? QStringLiteral("Enter the TVN password you created during setup.") : QString());
        QCOMPARE(screen->findChild<QLineEdit *>(QStringLiteral("tvn-operator-passphrase"))->isVisible(), passphraseRequired);
        QCOMPARE(screen->passphraseUnlockButton()->isVisible(), passphraseRequired);
        QCOMPARE(screen->findChild<QPushButton *>(QStringLiteral("forgotPassword"))->isVisible(), passphraseRequired);
        QCOMPARE(screen->retryButton()->toolTip(), QStringLiteral("Retry the embedded dashboard"));
        // "Ready" says nothing; any other status speaks in the password screens' words.
        QCOMPARE(text(screen, "unlockStatus"), QString());
        m_model->setStatusMessage(QStringLiteral("invalid local operator passphrase"));
        QCOMPARE(text(screen, "unlockStatus"), QStringLiteral("That password didn't unlock the vault. Check it and try again."));
        saveScreenshot(QStringLiteral("fallback-operator-unlock-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    }

    void setupRefusesPasswordsThatDoNotMatchWithoutAskingTheBroker()
    {
        NativeVaultSecurityFallback *screen = securityScreen(NativeVaultSecurityFallback::Mode::setup);
        QCOMPARE(text(screen, "unlockTitle"), QStringLiteral("Create your TVN password"));
        QCOMPARE(screen->primaryButton()->text(), QStringLiteral("Encrypt vault"));
        QVERIFY(!screen->findChild<QPushButton *>(QStringLiteral("forgotPassword"))->isVisible());
        type(screen, "tvn-vault-passphrase", QStringLiteral("correct horse battery"));
        type(screen, "tvn-vault-passphrase-confirm", QStringLiteral("correct horse batterz"));
        m_broker->clearRequests();
        screen->primaryButton()->click();
        QTRY_COMPARE(screen->inlineError(), QStringLiteral("Passwords do not match."));
        QVERIFY(m_broker->requests().isEmpty());
        // The fields keep what was typed, so the user can correct it.
        QCOMPARE(screen->findChild<QLineEdit *>(QStringLiteral("tvn-vault-passphrase"))->text(), QStringLiteral("correct horse battery"));
        saveScreenshot(QStringLiteral("fallback-vault-setup-mismatch"));
    }

    void aSecondPressWhileTheFirstRunsStartsNothing()
    {
        m_broker->setAnswer("/v1/operator/status", Answer{200, {}, {}, {}, true});
        NativeVaultSecurityFallback *screen = securityScreen(NativeVaultSecurityFallback::Mode::setup);
        type(screen, "tvn-vault-passphrase", QStringLiteral("correct horse battery"));
        type(screen, "tvn-vault-passphrase-confirm", QStringLiteral("correct horse battery"));
        m_broker->clearRequests();
        screen->primaryButton()->click();
        QVERIFY(screen->isWorking());
        QVERIFY(!screen->primaryButton()->isEnabled());
        QMetaObject::invokeMethod(screen->findChild<QLineEdit *>(QStringLiteral("tvn-vault-passphrase")), "returnPressed");
        QTRY_COMPARE(m_broker->requestedPaths(), QList<QByteArray>{"/v1/operator/status"});
        QTest::qWait(300);
        QCOMPARE(m_broker->requestedPaths().size(), 1);
        // The broker never answers: the client's time-out ends it, worded for the user.
        QTRY_VERIFY_WITH_TIMEOUT(!screen->isWorking(), 15000);
        QVERIFY(!screen->inlineError().isEmpty());
    }

    void unlockModeOffersTheResetBehindItsConfirmationAndRunsItOnce()
    {
        NativeVaultSecurityFallback *screen = securityScreen(NativeVaultSecurityFallback::Mode::unlock);
        QCOMPARE(text(screen, "unlockTitle"), QStringLiteral("Unlock your TVN vault"));
        QCOMPARE(screen->primaryButton()->text(), QStringLiteral("Unlock vault"));
        QVERIFY(!screen->findChild<QLineEdit *>(QStringLiteral("tvn-vault-passphrase-confirm"))->isVisible());
        saveScreenshot(QStringLiteral("fallback-vault-unlock"));

        screen->findChild<QPushButton *>(QStringLiteral("forgotPassword"))->click();
        VaultResetConfirmation *confirmation = screen->resetConfirmation();
        QVERIFY(confirmation && screen->resetConfirmationPresented());
        QCOMPARE(confirmation->windowTitle(), QStringLiteral("Reset local TVN vault?"));
        QCOMPARE(text(confirmation, "resetText"),
                 QStringLiteral("This removes TVN's local vault, connected apps, agent keys, and service state from this "
                                "computer. It cannot recover the password. You'll start fresh and re-add keys. Keyring "
                                "entries are not touched."));
        confirmation->confirm();
        confirmation->confirm();
        QVERIFY(screen->isResettingLocalVault());
        // The stand-in script fails the reinstall: the reset ran once and says why it failed, in
        // the dialog and under the fields.
        QTRY_VERIFY_WITH_TIMEOUT(!screen->isResettingLocalVault(), 30000);
        QCOMPARE(m_script->commands().count(QStringLiteral("uninstall")), 1);
        QVERIFY(!text(confirmation, "resetError").isEmpty());
        QCOMPARE(screen->inlineError(), text(confirmation, "resetError"));
    }

private:
    NativeVaultSecurityFallback *securityScreen(NativeVaultSecurityFallback::Mode mode)
    {
        auto *screen = new NativeVaultSecurityFallback(m_model);
        m_screen.reset(screen);
        screen->setMode(mode);
        showScreen();
        return screen;
    }

    void showScreen()
    {
        m_screen->resize(900, 600);
        m_screen->setAutoFillBackground(true);
        QPalette dark = m_screen->palette();
        dark.setColor(QPalette::Window, QColor(0x10, 0x12, 0x14));
        m_screen->setPalette(dark);
        m_screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));
    }

    static void type(QWidget *screen, const char *field, const QString &value)
    {
        screen->findChild<QLineEdit *>(QLatin1StringView(field))->setText(value);
    }

    void saveScreenshot(const QString &name) const
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        if (!directory.isEmpty())
            m_screen->grab().save(QDir(directory).filePath(name + QStringLiteral(".png")));
    }

    CannedBroker::Model m_canned;
    FakeControlScript *m_script = nullptr;
    CannedHttpServer *m_broker = nullptr;
    AppModel *m_model = nullptr;
    std::unique_ptr<QWidget> m_screen;
};

QTEST_MAIN(TestNativeUnlockScreens)
#include "tst_NativeUnlockScreens.moc"
