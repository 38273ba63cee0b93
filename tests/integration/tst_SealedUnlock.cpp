#include "AwaitTask.h"
#include "IdentityTestSupport.h"
#include "ModelTestSupport.h"
#include "PamConfDirectory.h"
#include "PamOwnerAuthentication.h"
#include "ThrowawayUser.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

// Unlock sealed to the TPM behind the system login, end to end in the production lane: the real
// local service in a temporary home, a TPM simulator, and real PAM checking a throwaway account's
// password through the app's own prompt (answered here as a person would). The automation
// channel is closed in the production lane, so the model runs in this process.
class TestSealedUnlock : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!ThrowawayUser::canCreate())
            QSKIP("Checking a throwaway account's password with PAM needs root");
        QFile tcti(QStringLiteral(TVN_SWTPM_DIR "/tpm-a.tcti"));
        QVERIFY2(tcti.open(QIODevice::ReadOnly), "the TPM simulator fixture did not start");
        qputenv("TVN_TPM_TCTI", tcti.readAll().trimmed());
        m_user = std::make_unique<ThrowawayUser>();
        QVERIFY2(m_user->ready(), qPrintable(m_user->error()));
        QVERIFY(m_pam.write(QStringLiteral("torvane"), PamConfDirectory::unixStack()));
        QVERIFY(m_home.isValid());

        m_settings = std::make_shared<QSettings>(m_home.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        LocalServiceContext context = modelServiceContext(m_home.filePath(QStringLiteral("home")),
                                                          QStringLiteral(TVN_BINARY_DIR));
        context.identity = TVNRuntimeIdentity::resolve(shippingInfo(), context.identity.homeDirectoryPath(),
                                                       context.identity.homeDirectoryPath() + QStringLiteral("/.local/share"));
        context.operatorSealedEnabled = [settings = m_settings] {
            return settings->value(QStringLiteral("tvn.operatorSealedEnabled"), false).toBool();
        };
        AppModel::Dependencies deps =
            modelDependencies(context, std::make_shared<SupervisionClock>(), std::make_shared<RecordingClipboard>());
        deps.userDefaults = UserDefaults(m_settings);
        const PamOwnerAuthentication::Options options{m_pam.path(), m_user->name(), true};
        deps.ownerAuthentication = [options](PasswordPrompter *prompter) {
            return std::make_shared<PamOwnerAuthentication>(prompter, options);
        };
        m_model = std::make_unique<AppModel>(std::move(deps));
        // The person at the keyboard: answers each password prompt from the plan, in order.
        connect(m_model->presencePrompt(), &PresencePrompt::pendingChanged, this, [this] {
            PresencePrompt *prompt = m_model->presencePrompt();
            if (!prompt->isPending())
                return;
            m_reasons << prompt->request().reason;
            const std::optional<QString> answer = m_plan.isEmpty() ? std::nullopt : m_plan.takeFirst();
            QMetaObject::invokeMethod(prompt, [prompt, answer] { answer ? prompt->answer(*answer) : prompt->cancel(); },
                                      Qt::QueuedConnection);
        });
    }

    void cleanupTestCase()
    {
        if (m_model)
            QCoro::waitFor(m_model->stopLocalService());
        qunsetenv("TVN_TPM_TCTI");
    }

    void firstRunOffersTheSystemLogin()
    {
        QCoro::waitFor(m_model->installOrStartLocalService());
        QVERIFY(m_model->supervision()->brokerReadyAndVerified());
        QCOMPARE(m_model->snapshot()->operatorStatus().unlockMethod, QStringLiteral("local-file"));
        const BrokerResult<bool> setUp = awaitTask(m_model->setupVaultPassphrase(passphrase(), passphrase()));
        QVERIFY2(setUp, setUp ? "" : qPrintable(setUp.failure().description()));
        QVERIFY(m_model->vaultUnlock()->shouldOfferTouchIDSetup());
        QVERIFY(m_reasons.isEmpty());
    }

    void aCancelledPromptKeepsThePlaintextSecret()
    {
        m_plan = {std::nullopt};
        QCoro::waitFor(m_model->enableSecureEnclaveUnlock());
        QVERIFY(m_model->vaultUnlock()->secureEnclaveUnlockFeedbackIsError());
        QVERIFY(QFile::exists(stateFile("operator-bootstrap.local")));
        QVERIFY(!QFile::exists(stateFile("operator-bootstrap.sealed")));
        QVERIFY(!m_model->vaultUnlock()->operatorSealedEnabled());
        QCOMPARE(m_reasons.value(0), QStringLiteral("Confirm your identity so Torvane can verify the sealed unlock secret"));
    }

    void enablingSealsRestartsAndUnlocksWithTheLogin()
    {
        const QByteArray plaintext = readState("operator-bootstrap.local");
        // One answer proves the sealed copy; the restarted broker's session needs the second.
        m_plan = {m_user->password(), m_user->password()};
        m_reasons.clear();
        QCoro::waitFor(m_model->enableSecureEnclaveUnlock());
        QVERIFY2(!m_model->vaultUnlock()->secureEnclaveUnlockFeedbackIsError(),
                 qPrintable(m_model->vaultUnlock()->secureEnclaveUnlockFeedbackText()));
        QVERIFY(m_model->vaultUnlock()->operatorSealedEnabled());
        QVERIFY(!QFile::exists(stateFile("operator-bootstrap.local")));
        QVERIFY(QFile::exists(stateFile("operator-bootstrap.sealed")));
        QVERIFY(!readState("operator-bootstrap.sealed").contains(plaintext.trimmed()));
        QCOMPARE(m_model->snapshot()->operatorStatus().unlockMethod, QStringLiteral("secure-enclave"));
        QVERIFY(!m_model->operatorSessionID().isEmpty());
        QCOMPARE(m_model->snapshot()->vaultStatus(), QStringLiteral("unlocked"));
        QCOMPARE(m_reasons.size(), 2);
    }

    void afterARestartTheLoginReplacesThePassphrase()
    {
        QCoro::waitFor(m_model->supervision()->restartLocalService());
        // The restart's own refresh found no session and stopped: sealed unlock waits for the user.
        QVERIFY(m_model->operatorSessionID().isEmpty() || m_reasons.size() > 2);
        m_model->lockOperatorSession();

        m_plan = {QStringLiteral("not the password"), m_user->password()};
        QCoro::waitFor(m_model->unlockOperatorSession());
        QVERIFY(m_model->operatorSessionID().isEmpty());
        QVERIFY(!m_model->lastActionError().isEmpty());
        QVERIFY(!m_model->lastActionError().contains(QStringLiteral("not the password")));

        QCoro::waitFor(m_model->unlockOperatorSession());
        QVERIFY(!m_model->operatorSessionID().isEmpty());
        QCOMPARE(m_model->snapshot()->vaultStatus(), QStringLiteral("unlocked"));
        QVERIFY(!m_model->operatorSession()->operatorPassphraseRequired());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Local service checked"));
    }

    void concurrentReadersShareOnePrompt()
    {
        m_plan = {m_user->password()};
        m_reasons.clear();
        const QString directory = m_model->supervision()->stateDirectory();
        auto first = m_model->operatorSession()->readSealedOperatorBootstrap(directory);
        auto second = m_model->operatorSession()->readSealedOperatorBootstrap(directory);
        const BrokerResult<std::optional<QString>> a = awaitTask(std::move(first));
        const BrokerResult<std::optional<QString>> b = awaitTask(std::move(second));
        QVERIFY(a && b && a.value() && a.value() == b.value());
        QCOMPARE(m_reasons, QStringList{QStringLiteral("Unlock Torvane to let your agents connect")});
    }

    void disablingTwiceSucceedsBothTimes()
    {
        for (int round = 0; round < 2; ++round) {
            QCoro::waitFor(m_model->disableSecureEnclaveUnlock());
            QVERIFY(!m_model->vaultUnlock()->secureEnclaveUnlockFeedbackIsError());
            QVERIFY(!QFile::exists(stateFile("operator-bootstrap.sealed")));
            QVERIFY(!m_model->vaultUnlock()->operatorSealedEnabled());
        }
        QVERIFY(m_model->vaultUnlock()->secureEnclaveUnlockFeedbackText().endsWith(
            QStringLiteral(" disabled. Restart the service to apply — TVN will return to the owner-only local vault.")));
    }

private:
    static QString passphrase() { return QStringLiteral("correct horse battery staple"); }
    QString stateFile(const char *name) const
    {
        return m_model->supervision()->stateDirectory() + QLatin1Char('/') + QLatin1StringView(name);
    }
    QByteArray readState(const char *name) const
    {
        QFile file(stateFile(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_home;
    std::unique_ptr<ThrowawayUser> m_user;
    PamConfDirectory m_pam;
    std::shared_ptr<QSettings> m_settings;
    std::unique_ptr<AppModel> m_model;
    QList<std::optional<QString>> m_plan;
    QStringList m_reasons;
};

QTEST_GUILESS_MAIN(TestSealedUnlock)
#include "tst_SealedUnlock.moc"
