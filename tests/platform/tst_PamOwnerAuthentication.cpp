#include "IdentityTestSupport.h"
#include "PamConfDirectory.h"
#include "PamOwnerAuthentication.h"
#include "PresenceError.h"
#include "ScriptedPasswordPrompter.h"
#include "TVNRuntimeIdentity.h"
#include "ThrowawayUser.h"
#include "VaultUnlockAuth.h"

#include <QFile>
#include <QTest>

#include <memory>

// Real PAM (pam_unix against /etc/shadow) on accounts the test creates and deletes, with service
// files in a private conf dir. The password dialog is scripted: it is the GUI's part.
// The fingerprint rows only name pam_fprintd.so; no reader is needed to tell that the stack has one.

Q_DECLARE_METATYPE(VaultUnlockMethod)
Q_DECLARE_METATYPE(ThrowawayUser::Password)
Q_DECLARE_METATYPE(PresenceError::Kind)

namespace {

#define REQUIRE_ACCOUNTS()                                                                                      \
    if (!ThrowawayUser::canCreate())                                                                            \
    QSKIP("needs root: it creates a throwaway account, and only root may check another user's password")

#define REQUIRE_READY(user) QVERIFY2((user).ready(), qPrintable((user).error()))

const QString reason = QStringLiteral("Unlock Torvane to let your agents connect");
const QString fallbackTitle = QStringLiteral("Use Password…");

enum class Answer { right, wrong, cancel };

std::optional<QString> answerFor(Answer answer, const ThrowawayUser &user)
{
    switch (answer) {
    case Answer::right:
        return user.password();
    case Answer::wrong:
        return user.password() + QLatin1Char('x');
    case Answer::cancel:
        break;
    }
    return std::nullopt;
}

PamOwnerAuthentication::Options optionsFor(const PamConfDirectory &conf, const QString &user)
{
    PamOwnerAuthentication::Options options;
    options.confDirectory = conf.path();
    options.userName = user;
    options.removeFailureDelay = true;
    return options;
}

AuthenticationContext contextWithReuse(int seconds)
{
    AuthenticationContext context;
    context.setFallbackTitle(fallbackTitle);
    context.setReuseWindowSeconds(seconds);
    return context;
}

// Service files by name; "shipped" stands for the packaged service file over the system's includes.
using ServiceFiles = QMap<QString, QString>;

bool writeAll(const PamConfDirectory &conf, const ServiceFiles &files)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (it.value() == QLatin1String("shipped")) {
            QFile shipped(QStringLiteral(TVN_SOURCE_DIR "/packaging/pam/torvane"));
            if (!shipped.open(QIODevice::ReadOnly) || !conf.write(it.key(), QString::fromUtf8(shipped.readAll()))
                || !conf.copyFromSystem(QStringLiteral("common-auth"))
                || !conf.copyFromSystem(QStringLiteral("common-account")))
                return false;
        } else if (!conf.write(it.key(), it.value())) {
            return false;
        }
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Answer)

class TestPamOwnerAuthentication : public QObject
{
    Q_OBJECT
private slots:
    void evaluation_data()
    {
        QTest::addColumn<ServiceFiles>("files");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<std::optional<PresenceError::Kind>>("failure");
        QTest::addColumn<QString>("text");
        const ServiceFiles app{{"torvane", PamConfDirectory::unixStack()}};
        QTest::newRow("right password") << app << Answer::right << std::optional<PresenceError::Kind>() << QString();
        QTest::newRow("right password, shipped service file over the system's common-auth")
            << ServiceFiles{{"torvane", "shipped"}} << Answer::right << std::optional<PresenceError::Kind>() << QString();
        QTest::newRow("right password, no torvane service: login")
            << ServiceFiles{{"login", PamConfDirectory::unixStack()}} << Answer::right
            << std::optional<PresenceError::Kind>() << QString();
        QTest::newRow("wrong password") << app << Answer::wrong
                                        << std::optional(PresenceError::Kind::authenticationFailed)
                                        << "Authentication failed: the system login did not accept that password.";
        // The stack ends in pam_deny after the failed question, but the user's cancel is what counts.
        QTest::newRow("cancelled, shipped service file")
            << ServiceFiles{{"torvane", "shipped"}} << Answer::cancel
            << std::optional(PresenceError::Kind::cancelledByUser) << "Authentication was cancelled.";
        QTest::newRow("cancelled") << app << Answer::cancel << std::optional(PresenceError::Kind::cancelledByUser)
                                   << "Authentication was cancelled.";
    }
    void evaluation()
    {
        REQUIRE_ACCOUNTS();
        QFETCH(ServiceFiles, files);
        QFETCH(Answer, answer);
        QFETCH(std::optional<PresenceError::Kind>, failure);
        QFETCH(QString, text);
        const ThrowawayUser user;
        REQUIRE_READY(user);
        PamConfDirectory conf;
        QVERIFY(writeAll(conf, files));
        ScriptedPasswordPrompter prompter({answerFor(answer, user)});
        PamOwnerAuthentication authentication(&prompter, optionsFor(conf, user.name()));
        AuthenticationContext context = contextWithReuse(0);

        try {
            authentication.evaluateOwner(context, reason);
            QVERIFY2(!failure, "the owner check passed");
            QVERIFY(context.isUserPresenceApproved());
        } catch (const PresenceError &error) {
            QVERIFY2(failure, qPrintable(error.description()));
            QCOMPARE(error.kind(), *failure);
            QCOMPARE(error.description(), text);
            QVERIFY(!context.isUserPresenceApproved());
            QVERIFY(!error.description().contains(user.password()));
        }
        const QList<PasswordPrompter::Request> requests = prompter.requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().reason, reason);
        QCOMPARE(requests.first().prompt, QStringLiteral("Password: "));
        QCOMPARE(requests.first().fallbackTitle, fallbackTitle);
    }

    // What PAM shows before its question (a fingerprint module's hint, a warning) reaches the dialog.
    void messagesTravelWithTheQuestion()
    {
        REQUIRE_ACCOUNTS();
        const ThrowawayUser user;
        REQUIRE_READY(user);
        PamConfDirectory conf;
        QVERIFY(conf.write(QStringLiteral("torvane"), QStringLiteral("auth optional pam_echo.so Place your finger on the reader\n")
                                                          + PamConfDirectory::unixStack()));
        ScriptedPasswordPrompter prompter({user.password()});
        PamOwnerAuthentication authentication(&prompter, optionsFor(conf, user.name()));
        AuthenticationContext context = contextWithReuse(0);
        authentication.evaluateOwner(context, reason);
        QCOMPARE(prompter.requests().size(), 1);
        QCOMPARE(prompter.requests().first().messages, QStringList{QStringLiteral("Place your finger on the reader")});
    }

    void reuseWindow_data()
    {
        QTest::addColumn<int>("reuseSeconds");
        QTest::addColumn<int>("questions");
        QTest::newRow("within the window: no second prompt") << 10 << 1;
        QTest::newRow("no window: prompts again") << 0 << 2;
    }
    void reuseWindow()
    {
        REQUIRE_ACCOUNTS();
        QFETCH(int, reuseSeconds);
        QFETCH(int, questions);
        const ThrowawayUser user;
        REQUIRE_READY(user);
        PamConfDirectory conf;
        QVERIFY(conf.write(QStringLiteral("torvane"), PamConfDirectory::unixStack()));
        ScriptedPasswordPrompter prompter({user.password(), user.password()});
        PamOwnerAuthentication authentication(&prompter, optionsFor(conf, user.name()));
        AuthenticationContext context = contextWithReuse(reuseSeconds);
        authentication.evaluateOwner(context, reason);
        authentication.evaluateOwner(context, reason);
        QCOMPARE(prompter.requests().size(), questions);
        QVERIFY(context.isUserPresenceApproved());
    }

    void availableMethod_data()
    {
        QTest::addColumn<ServiceFiles>("files");
        QTest::addColumn<ThrowawayUser::Password>("password");
        QTest::addColumn<bool>("knownUser");
        QTest::addColumn<VaultUnlockMethod>("method");
        using P = ThrowawayUser::Password;
        const ServiceFiles unix{{"torvane", PamConfDirectory::unixStack()}};
        const QString fingerprintFirst = QStringLiteral("auth [success=2 default=ignore] pam_fprintd.so max-tries=1 timeout=10\n");
        QTest::newRow("password stack") << unix << P::set << true << VaultUnlockMethod::passwordOnly;
        QTest::newRow("shipped service file") << ServiceFiles{{"torvane", "shipped"}} << P::set << true
                                              << VaultUnlockMethod::passwordOnly;
        QTest::newRow("fingerprint in the service file")
            << ServiceFiles{{"torvane", fingerprintFirst + PamConfDirectory::unixStack()}} << P::set << true
            << VaultUnlockMethod::biometricsWithPasswordFallback;
        QTest::newRow("fingerprint through @include")
            << ServiceFiles{{"torvane", "@include common-auth\naccount required pam_unix.so\n"},
                            {"common-auth", "-auth sufficient /usr/lib/x86_64-linux-gnu/security/pam_fprintd.so\n"
                                            "auth required pam_unix.so\n"}}
            << P::set << true << VaultUnlockMethod::biometricsWithPasswordFallback;
        QTest::newRow("fingerprint through a continued substack line")
            << ServiceFiles{{"torvane", "auth \\\n substack fingerprint\n" + PamConfDirectory::unixStack()},
                            {"fingerprint", fingerprintFirst}}
            << P::set << true << VaultUnlockMethod::biometricsWithPasswordFallback;
        QTest::newRow("fingerprint commented out or outside auth")
            << ServiceFiles{{"torvane", "# " + fingerprintFirst + "session optional pam_fprintd.so\n"
                                        + PamConfDirectory::unixStack()}}
            << P::set << true << VaultUnlockMethod::passwordOnly;
        QTest::newRow("login fallback") << ServiceFiles{{"login", PamConfDirectory::unixStack()}} << P::set << true
                                        << VaultUnlockMethod::passwordOnly;
        QTest::newRow("no service file at all") << ServiceFiles{{"sshd", PamConfDirectory::unixStack()}} << P::set << true
                                                << VaultUnlockMethod::unavailable;
        QTest::newRow("locked account") << unix << P::locked << true << VaultUnlockMethod::unavailable;
        QTest::newRow("account without password") << unix << P::empty << true << VaultUnlockMethod::unavailable;
        QTest::newRow("unknown user") << unix << P::set << false << VaultUnlockMethod::unavailable;
    }
    void availableMethod()
    {
        REQUIRE_ACCOUNTS();
        QFETCH(ServiceFiles, files);
        QFETCH(ThrowawayUser::Password, password);
        QFETCH(bool, knownUser);
        QFETCH(VaultUnlockMethod, method);
        const ThrowawayUser user(password);
        REQUIRE_READY(user);
        PamConfDirectory conf;
        QVERIFY(writeAll(conf, files));
        ScriptedPasswordPrompter prompter;
        PamOwnerAuthentication authentication(
            &prompter, optionsFor(conf, knownUser ? user.name() : user.name() + QStringLiteral("-gone")));
        const AuthenticationContext context;
        QCOMPARE(VaultUnlockAuth::availableMethod(authentication, context), method);
        QCOMPARE(authentication.biometryType(context) == OwnerAuthentication::BiometryType::fingerprint,
                 authentication.canEvaluateBiometrics());
        QVERIFY(prompter.requests().isEmpty());
    }

    // A locked account that is asked anyway fails like a wrong password and never approves.
    void lockedAccountIsRefused()
    {
        REQUIRE_ACCOUNTS();
        const ThrowawayUser user(ThrowawayUser::Password::locked);
        REQUIRE_READY(user);
        PamConfDirectory conf;
        QVERIFY(conf.write(QStringLiteral("torvane"), PamConfDirectory::unixStack()));
        ScriptedPasswordPrompter prompter({user.password()});
        PamOwnerAuthentication authentication(&prompter, optionsFor(conf, user.name()));
        AuthenticationContext context;
        QVERIFY_THROWS_EXCEPTION(PresenceError, authentication.evaluateOwner(context, reason));
        QVERIFY(!context.isUserPresenceApproved());
    }

    void environmentChoosesUserAndConfDir_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("confDirectory");
        const QStringList both{"TVN_PAM_USER= tvnpamtest ", "TVN_PAM_CONFDIR=/tmp/pam-test"};
        QTest::newRow("development lane honours both") << false << both << "tvnpamtest" << "/tmp/pam-test";
        QTest::newRow("production lane ignores them") << true << both << QString() << QString();
        QTest::newRow("development lane, unset") << false << QStringList() << QString() << QString();
    }
    void environmentChoosesUserAndConfDir()
    {
        QFETCH(bool, production);
        QFETCH(QStringList, environment);
        QFETCH(QString, user);
        QFETCH(QString, confDirectory);
        const TVNRuntimeIdentity identity =
            TVNRuntimeIdentity::resolve(production ? shippingInfo() : QVariantMap(), QStringLiteral("/home/operator"));
        ScriptedPasswordPrompter prompter;
        const auto authentication =
            PamOwnerAuthentication::fromEnvironment(identity, &prompter, environmentFrom(environment));
        const QString currentUser = PamOwnerAuthentication(&prompter).userName();
        QVERIFY(!currentUser.isEmpty());
        QCOMPARE(authentication->userName(), user.isEmpty() ? currentUser : user);
        QCOMPARE(authentication->confDirectory(), confDirectory);
    }
};

QTEST_GUILESS_MAIN(TestPamOwnerAuthentication)
#include "tst_PamOwnerAuthentication.moc"
