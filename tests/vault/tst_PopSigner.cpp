#include "LocalAgentProfileStore.h"
#include "VaultTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString agentKey = QStringLiteral("tvn_cG9wLXNpZ25lci1lbmQtdG8tZW5kLWtleQ");

struct SignerRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

// The signer binary end to end, as the service's wrapper runs it.
class PopSignerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    int m_counter = 0;

    QString freshDirectory() { return m_root.filePath(QStringLiteral("run-%1").arg(++m_counter)); }

    static SignerRun runSigner(const QStringList &arguments, const QMap<QString, QString> &environment)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("SWITCHYARD_STATE_DIR"));
        env.remove(QStringLiteral("TSS2_LOG"));
        env.insert(QStringLiteral("TVN_TPM_TCTI"), simulatorTcti("tpm-a"));
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TVN_SIGNER_PATH), arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

private slots:
    void opensProfiles_data()
    {
        QTest::addColumn<QString>("where");      // state | env | home
        QTest::addColumn<bool>("sealed");
        QTest::addColumn<QStringList>("arguments"); // "{state}" is replaced
        QTest::newRow("sealed, --state-dir") << "state" << true
                                             << QStringList{"open", "--profile", "agent", "--state-dir", "{state}"};
        QTest::newRow("sealed, --name=value") << "state" << true
                                              << QStringList{"open", "--profile=agent", "--state-dir={state}"};
        QTest::newRow("plaintext profile") << "state" << false
                                           << QStringList{"open", "--profile", "agent", "--state-dir", "{state}"};
        QTest::newRow("SWITCHYARD_STATE_DIR") << "env" << true << QStringList{"open", "--profile", " agent "};
        QTest::newRow("installation's state directory") << "home" << true << QStringList{"open", "--profile", "agent"};
    }
    void opensProfiles()
    {
        QFETCH(QString, where);
        QFETCH(bool, sealed);
        QFETCH(QStringList, arguments);
        const QString home = freshDirectory();
        // The build's metadata selects the development lane.
        const QString state = where == QLatin1String("home") ? home + QStringLiteral("/.torvane-dev/state")
                                                             : freshDirectory();
        const QString tcti = sealed ? simulatorTcti("tpm-a") : missingTpmTcti();
        LocalAgentProfileStore(state, std::make_shared<TpmKeyProvider>(tcti)).storeTorvane(agentKey, QStringLiteral("agent"));
        QCOMPARE(QFileInfo::exists(state + QStringLiteral("/agent-keys/agent.sealed")), sealed);

        QMap<QString, QString> environment{{QStringLiteral("HOME"), home}, {QStringLiteral("TVN_TPM_TCTI"), tcti}};
        if (where == QLatin1String("env"))
            environment.insert(QStringLiteral("SWITCHYARD_STATE_DIR"), state);
        arguments.replaceInStrings(QStringLiteral("{state}"), state);
        const SignerRun run = runSigner(arguments, environment);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, agentKey.toUtf8());
    }

    void failsWithOneLine_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // after "tvn-pop-signer: "; "{state}" is replaced
        const QStringList open{"open", "--profile", "agent", "--state-dir", "{state}"};
        QTest::newRow("no such profile") << "stored" << QStringList{"open", "--profile", "other", "--state-dir", "{state}"}
                                         << 1 << "Local setup profile unavailable at {state}/agent-keys/other.key";
        QTest::newRow("invalid profile name")
            << "stored" << QStringList{"open", "--profile", "a/b", "--state-dir", "{state}"} << 1
            << "Agent profile must be 1-64 characters using letters, numbers, dot, underscore, colon, or dash";
        QTest::newRow("directory not owner-only") << "directory 0755" << open << 1
                                                  << "Local setup profile rejected: {state}/agent-keys must be owner-only";
        QTest::newRow("handle missing") << "handle removed" << open << 1
                                        << "The TPM key for this vault is missing on this computer, so the sealed "
                                           "data can't be opened here. If you moved or restored this machine, disable "
                                           "hardware-sealed unlock in Settings > Security to reset it.";
        QTest::newRow("corrupt envelope") << "envelope corrupted" << open << 1
                                          << "The sealed key file is corrupt or has an unexpected format.";
        QTest::newRow("another machine's TPM") << "other tpm" << open << 1 << "";
        QTest::newRow("no TPM for a sealed profile") << "no tpm" << open << 1
                                                     << "This computer has no TPM, so keys can't be hardware-sealed.";
        QTest::newRow("no arguments") << "stored" << QStringList{} << 2
                                      << "missing command; see tvn-pop-signer --help";
        QTest::newRow("unknown command") << "stored" << QStringList{"print", "--profile", "agent"} << 2
                                         << "unknown command \"print\"; see tvn-pop-signer --help";
        QTest::newRow("profile without value") << "stored" << QStringList{"open", "--profile"} << 2
                                               << "--profile needs a profile name; see tvn-pop-signer --help";
        QTest::newRow("missing profile") << "stored" << QStringList{"open", "--state-dir", "{state}"} << 2
                                         << "open needs --profile NAME; see tvn-pop-signer --help";
        QTest::newRow("unknown option") << "stored" << QStringList{"open", "--profile", "agent", "--verbose"} << 2
                                        << "unknown argument \"--verbose\"; see tvn-pop-signer --help";
    }
    void failsWithOneLine()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString state = freshDirectory();
        const LocalAgentProfileStore store(state, simulator());
        store.storeTorvane(agentKey, QStringLiteral("agent"));
        const QString sealed = state + QStringLiteral("/agent-keys/agent.sealed");
        QMap<QString, QString> environment{{QStringLiteral("HOME"), freshDirectory()}};
        if (setup == QLatin1String("directory 0755")) {
            QFile::setPermissions(state + QStringLiteral("/agent-keys"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                      | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        } else if (setup == QLatin1String("handle removed")) {
            QVERIFY(QFile::remove(state + QStringLiteral("/seal/se-agentkeys.bin")));
        } else if (setup == QLatin1String("envelope corrupted")) {
            QFile file(sealed);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(agentKey.toUtf8());
        } else if (setup == QLatin1String("other tpm")) {
            environment.insert(QStringLiteral("TVN_TPM_TCTI"), simulatorTcti("tpm-b"));
        } else if (setup == QLatin1String("no tpm")) {
            environment.insert(QStringLiteral("TVN_TPM_TCTI"), missingTpmTcti());
        }
        arguments.replaceInStrings(QStringLiteral("{state}"), state);
        message.replace(QStringLiteral("{state}"), state);

        const SignerRun run = runSigner(arguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.startsWith("tvn-pop-signer: ") && run.err.endsWith('\n') && run.err.count('\n') == 1,
                 run.err.constData());
        QVERIFY(!run.err.contains(agentKey.toUtf8()));
        if (!message.isEmpty())
            QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("tvn-pop-signer: ") + message + QLatin1Char('\n'));
    }

    // A TPM device this user may not open is named, with the fix, instead of looking absent.
    void deviceWithoutPermissionNamesTheFix()
    {
        const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        if (::getuid() != 0 || runuser.isEmpty() || !::getpwnam("nobody"))
            QSKIP("needs root and runuser to act as another user");
        QTemporaryDir shared;
        QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
        const QString state = shared.filePath(QStringLiteral("state"));
        LocalAgentProfileStore(state, simulator()).storeTorvane(agentKey, QStringLiteral("agent"));
        const passwd *nobody = ::getpwnam("nobody");
        QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"),
                                                             QStringLiteral("%1:%2").arg(nobody->pw_uid).arg(nobody->pw_gid),
                                                             state}),
                 0);
        // Stands in for /dev/tpmrm0 (root:tss 0660) seen by a user outside the group.
        const QString device = shared.filePath(QStringLiteral("tpmrm0"));
        QFile deviceFile(device);
        QVERIFY(deviceFile.open(QIODevice::WriteOnly));
        deviceFile.close();
        QFile::setPermissions(device, QFile::ReadOwner | QFile::WriteOwner);

        // The build tree may sit where nobody cannot reach it (a checkout under /root).
        const QString signer = shared.filePath(QStringLiteral("tvn-pop-signer"));
        QVERIFY(QFile::copy(QStringLiteral(TVN_SIGNER_PATH), signer));
        QFile::setPermissions(signer, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TSS2_LOG"));
        env.insert(QStringLiteral("TVN_TPM_TCTI"), QStringLiteral("device:") + device);
        process.setProcessEnvironment(env);
        process.start(runuser, {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                signer, QStringLiteral("open"), QStringLiteral("--profile"),
                                QStringLiteral("agent"), QStringLiteral("--state-dir"), state});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 QStringLiteral("tvn-pop-signer: The TPM at %1 can't be opened: permission denied. Add your user to the "
                                "group \"tss\" and log in again.\n")
                     .arg(device));
    }

    void helpDescribesTheCommand()
    {
        const SignerRun run = runSigner({QStringLiteral("--help")}, {});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QVERIFY(run.out.startsWith("Usage: tvn-pop-signer open --profile NAME [--state-dir DIR]\n"));
    }
};

QTEST_GUILESS_MAIN(PopSignerTest)
#include "tst_PopSigner.moc"
