#include "LocalAgentProfileStore.h"
#include "LocalAgentProfileStoreError.h"
#include "SealedVault.h"
#include "SealedVaultError.h"
#include "VaultTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString agentKey = QStringLiteral("tvn_c2VjcmV0LWFnZW50LWtleS1tYXRlcmlhbC0wMQ");

void writeFile(const QString &path, const QByteArray &content, QFile::Permissions permissions)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    QVERIFY(QFile::setPermissions(path, permissions));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QFile::Permissions ownerReadWrite = QFile::ReadOwner | QFile::WriteOwner;
const QFile::Permissions ownerDirectory = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

class LocalAgentProfileStoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    int m_counter = 0;

    QString freshStateDirectory() { return m_root.filePath(QStringLiteral("state-%1").arg(++m_counter)); }

    LocalAgentProfileStore sealedStore() { return LocalAgentProfileStore(freshStateDirectory(), simulator()); }
    LocalAgentProfileStore plaintextStore()
    {
        return LocalAgentProfileStore(freshStateDirectory(), std::make_shared<TpmKeyProvider>(missingTpmTcti()));
    }

    static QString inDirectory(const LocalAgentProfileStore &store, const QString &name)
    {
        return store.profileDirectory() + QLatin1Char('/') + name;
    }

    // Every operation that touches files, by name, for the guard tables.
    static void run(const LocalAgentProfileStore &store, const QString &operation)
    {
        if (operation == QLatin1String("store"))
            store.storeTorvane(agentKey, QStringLiteral("agent"));
        else if (operation == QLatin1String("read"))
            store.readTorvane(QStringLiteral("agent"));
        else if (operation == QLatin1String("has"))
            store.hasTorvane(QStringLiteral("agent"));
        else
            store.deleteTorvane(QStringLiteral("agent"));
    }

private slots:
    void profileNames_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("fileName"); // empty: rejected
        QTest::newRow("plain") << "claude-code" << "claude-code.sealed";
        QTest::newRow("all allowed characters") << "A.z_0:9-x" << "A.z_0:9-x.sealed";
        QTest::newRow("blanks around") << "  cursor\n" << "cursor.sealed";
        QTest::newRow("64 characters") << QString(64, QLatin1Char('a')) << QString(64, QLatin1Char('a')) + ".sealed";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only blanks") << " \t " << "";
        QTest::newRow("65 characters") << QString(65, QLatin1Char('a')) << "";
        QTest::newRow("slash") << "../agent" << "";
        QTest::newRow("inner blank") << "my agent" << "";
        QTest::newRow("non-ASCII letter") << "agént" << "";
    }
    void profileNames()
    {
        QFETCH(QString, profile);
        QFETCH(QString, fileName);
        const LocalAgentProfileStore store = sealedStore();
        if (fileName.isEmpty()) {
            for (const QString operation : {"store", "read", "has", "delete", "keyPath"}) {
                const auto error = thrownBy<LocalAgentProfileStoreError>([&] {
                    if (operation == QLatin1String("keyPath"))
                        store.keyPath(profile);
                    else if (operation == QLatin1String("store"))
                        store.storeTorvane(agentKey, profile);
                    else if (operation == QLatin1String("read"))
                        store.readTorvane(profile);
                    else if (operation == QLatin1String("has"))
                        store.hasTorvane(profile);
                    else
                        store.deleteTorvane(profile);
                });
                QVERIFY2(error, qPrintable(operation));
                QCOMPARE(error->errorDescription(),
                         QStringLiteral("Agent profile must be 1-64 characters using letters, numbers, dot, underscore, "
                                        "colon, or dash"));
            }
            QVERIFY(!QFileInfo::exists(store.stateDirectory()));
            return;
        }
        store.storeTorvane(agentKey, profile);
        QCOMPARE(store.keyPath(profile), inDirectory(store, fileName));
        QVERIFY(QFileInfo::exists(inDirectory(store, fileName)));
        QCOMPARE(store.readTorvane(profile), agentKey);
    }

    void keyMaterial_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored"); // empty: rejected
        QTest::newRow("token") << agentKey << agentKey;
        QTest::newRow("leading blank, trailing line break") << " " + agentKey + "\n" << agentKey;
        QTest::newRow("inner blank") << "tvn_abc def" << "";
        QTest::newRow("inner tab") << "tvn_abc\tdef" << "";
        QTest::newRow("inner line break") << "tvn_abc\ndef" << "";
        QTest::newRow("only blanks") << "  \n " << "";
        QTest::newRow("empty") << "" << "";
    }
    void keyMaterial()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        for (const LocalAgentProfileStore &store : {sealedStore(), plaintextStore()}) {
            if (stored.isEmpty()) {
                const auto error = thrownBy<LocalAgentProfileStoreError>([&] { store.storeTorvane(key, "agent"); });
                QVERIFY(error);
                QCOMPARE(error->errorDescription(), QStringLiteral("Agent key material must be a single non-empty token"));
                QVERIFY(!QFileInfo::exists(store.profileDirectory()));
                continue;
            }
            store.storeTorvane(key, QStringLiteral("agent"));
            QCOMPARE(store.readTorvane(QStringLiteral("agent")), stored);
        }
    }

    void sealedStoreLifecycle()
    {
        const LocalAgentProfileStore store = sealedStore();
        QVERIFY(!store.hasTorvane(QStringLiteral("agent")));
        QVERIFY(!QFileInfo::exists(store.stateDirectory()));

        store.storeTorvane(agentKey, QStringLiteral("agent"));
        const QString sealed = inDirectory(store, QStringLiteral("agent.sealed"));
        QCOMPARE(modeOf(store.profileDirectory()), 0700);
        QCOMPARE(modeOf(sealed), 0600);
        QVERIFY(readFile(sealed).startsWith("TVN1"));
        QVERIFY(!readFile(sealed).contains(agentKey.toUtf8()));
        // No temporary file of the atomic write is left behind; the cache tag keeps backups out.
        QCOMPARE(QDir(store.profileDirectory()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList({QStringLiteral("agent.sealed"), QStringLiteral("CACHEDIR.TAG")}));
        QCOMPARE(modeOf(store.stateDirectory() + QStringLiteral("/seal/se-agentkeys.bin")), 0600);
        QVERIFY(store.hasTorvane(QStringLiteral("agent")));
        QCOMPARE(store.keyPath(QStringLiteral("agent")), sealed);
        QCOMPARE(store.readTorvane(QStringLiteral("agent")), agentKey);

        // The same key again writes nothing; a new key replaces the envelope.
        const QByteArray envelope = readFile(sealed);
        store.storeTorvane(agentKey, QStringLiteral("agent"));
        QCOMPARE(readFile(sealed), envelope);
        store.storeTorvane(QStringLiteral("tvn_second"), QStringLiteral("agent"));
        QVERIFY(readFile(sealed) != envelope);
        QCOMPARE(store.readTorvane(QStringLiteral("agent")), QStringLiteral("tvn_second"));

        writeFile(inDirectory(store, QStringLiteral("agent.reseal-pending")), {}, ownerReadWrite);
        store.deleteTorvane(QStringLiteral("agent"));
        QVERIFY(!store.hasTorvane(QStringLiteral("agent")));
        QVERIFY(!QFileInfo::exists(inDirectory(store, QStringLiteral("agent.reseal-pending"))));
        QVERIFY(QFileInfo::exists(store.stateDirectory() + QStringLiteral("/seal/se-agentkeys.bin")));
        QCOMPARE(store.keyPath(QStringLiteral("agent")), inDirectory(store, QStringLiteral("agent.key")));
    }

    void storingSealedRemovesLegacyPlaintext()
    {
        const LocalAgentProfileStore store = sealedStore();
        QVERIFY(QDir().mkpath(store.profileDirectory()));
        QFile::setPermissions(store.profileDirectory(), ownerDirectory);
        writeFile(inDirectory(store, QStringLiteral("agent.key")), agentKey.toUtf8(), ownerReadWrite);
        writeFile(inDirectory(store, QStringLiteral("agent.reseal-pending")), {}, ownerReadWrite);
        QCOMPARE(store.readTorvane(QStringLiteral("agent")), agentKey);

        store.storeTorvane(agentKey, QStringLiteral("agent"));
        QVERIFY(QFileInfo::exists(inDirectory(store, QStringLiteral("agent.sealed"))));
        QVERIFY(!QFileInfo::exists(inDirectory(store, QStringLiteral("agent.key"))));
        QVERIFY(!QFileInfo::exists(inDirectory(store, QStringLiteral("agent.reseal-pending"))));
        QCOMPARE(store.readTorvane(QStringLiteral("agent")), agentKey);
    }

    void staleSealedFileIsReplacedOnStoreButFailsARead()
    {
        const LocalAgentProfileStore store = sealedStore();
        store.storeTorvane(agentKey, QStringLiteral("agent"));
        const QString sealed = inDirectory(store, QStringLiteral("agent.sealed"));
        writeFile(sealed, QByteArrayLiteral("garbage"), ownerReadWrite);
        const auto error = thrownBy<SealedVaultError>([&] { store.readTorvane(QStringLiteral("agent")); });
        QVERIFY(error);
        QCOMPARE(error->errorCase(), SealedVaultError::Case::malformedEnvelope);
        store.storeTorvane(agentKey, QStringLiteral("agent"));
        QCOMPARE(store.readTorvane(QStringLiteral("agent")), agentKey);
    }

    void plaintextFallbackWithoutTpm()
    {
        const LocalAgentProfileStore store = plaintextStore();
        store.storeTorvane(QStringLiteral(" ") + agentKey + QStringLiteral("\n"), QStringLiteral("agent"));
        const QString plaintext = inDirectory(store, QStringLiteral("agent.key"));
        QCOMPARE(readFile(plaintext), agentKey.toUtf8());
        QCOMPARE(modeOf(plaintext), 0600);
        QCOMPARE(modeOf(store.profileDirectory()), 0700);
        QVERIFY(!QFileInfo::exists(store.stateDirectory() + QStringLiteral("/seal")));
        QVERIFY(store.hasTorvane(QStringLiteral("agent")));
        QCOMPARE(store.keyPath(QStringLiteral("agent")), plaintext);
        QCOMPARE(store.readTorvane(QStringLiteral("agent")), agentKey);
        store.deleteTorvane(QStringLiteral("agent"));
        QVERIFY(!QFileInfo::exists(plaintext));
    }

    // Once the TPM is gone a new key lands in plaintext; the sealed file of the old key must not
    // shadow it, neither now nor when the TPM comes back.
    void plaintextStoreSupersedesAnOlderSealedKey()
    {
        const QString stateDirectory = freshStateDirectory();
        const LocalAgentProfileStore withTpm(stateDirectory, simulator());
        withTpm.storeTorvane(agentKey, QStringLiteral("agent"));
        const LocalAgentProfileStore withoutTpm(stateDirectory, std::make_shared<TpmKeyProvider>(missingTpmTcti()));
        const QString newKey = QStringLiteral("tvn_bmV3LWFnZW50LWtleS1tYXRlcmlhbC0wMg");

        withoutTpm.storeTorvane(newKey, QStringLiteral("agent"));
        QVERIFY(!QFileInfo::exists(inDirectory(withoutTpm, QStringLiteral("agent.sealed"))));
        QCOMPARE(withoutTpm.keyPath(QStringLiteral("agent")), inDirectory(withoutTpm, QStringLiteral("agent.key")));
        QCOMPARE(withoutTpm.readTorvane(QStringLiteral("agent")), newKey);
        QCOMPARE(withTpm.readTorvane(QStringLiteral("agent")), newKey);
    }

    void inaccessibleTpmIsNotADowngradeToPlaintext()
    {
        auto faulty = std::make_shared<FaultInjectingKeyProvider>();
        faulty->inaccessible = HardwareKeyError::permissionDenied(QStringLiteral("/dev/tpmrm0"));
        const LocalAgentProfileStore store(freshStateDirectory(), faulty);
        const auto error = thrownBy<HardwareKeyError>([&] { store.storeTorvane(agentKey, QStringLiteral("agent")); });
        QVERIFY(error);
        QVERIFY(error->description().contains(QStringLiteral("group \"tss\"")));
        QVERIFY(!QFileInfo::exists(inDirectory(store, QStringLiteral("agent.key"))));
    }

    void readWithoutFiles()
    {
        const LocalAgentProfileStore store = sealedStore();
        const auto error = thrownBy<LocalAgentProfileStoreError>([&] { store.readTorvane(QStringLiteral("agent")); });
        QVERIFY(error);
        QCOMPARE(error->errorDescription(),
                 QStringLiteral("Local setup profile unavailable at ") + inDirectory(store, QStringLiteral("agent.key")));
    }

    void stateDirectoryDefault()
    {
        qputenv("SWITCHYARD_STATE_DIR", "/srv/state-from-env");
        QCOMPARE(LocalAgentProfileStore().stateDirectory(), QStringLiteral("/srv/state-from-env"));
        QCOMPARE(LocalAgentProfileStore(QStringLiteral("/given")).stateDirectory(), QStringLiteral("/given"));
        qputenv("SWITCHYARD_STATE_DIR", "");
        QCOMPARE(LocalAgentProfileStore().stateDirectory(), QDir::homePath() + QStringLiteral("/.torvane/state"));
        qunsetenv("SWITCHYARD_STATE_DIR");
    }

    // Unsafe items are refused by every operation but keyPath, and left exactly as they were.
    void guards_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("item");   // relative to the state directory
        QTest::addColumn<QString>("reason"); // after the item's path
        const QStringList operations{"store", "read", "has", "delete"};
        const QList<std::tuple<QString, QString, QString>> setups{
            {"directory 0755", "agent-keys", " must be owner-only"},
            {"directory symlink", "agent-keys", " must not be a symlink"},
            {"directory is a file", "agent-keys", " has the wrong file type"},
            {"sealed file 0644", "agent-keys/agent.sealed", " must be owner-only"},
            {"sealed file symlink", "agent-keys/agent.sealed", " must not be a symlink"},
            {"sealed file is a directory", "agent-keys/agent.sealed", " has the wrong file type"},
            {"key file 0640", "agent-keys/agent.key", " must be owner-only"},
        };
        for (const auto &[setup, item, reason] : setups) {
            for (const QString &operation : operations) {
                // Deleting only refuses links among the profile's own files.
                if (operation == QLatin1String("delete") && item != QLatin1String("agent-keys")
                    && !reason.contains(QLatin1String("symlink")))
                    continue;
                // Storing sealed never looks at a legacy .key before replacing it.
                if (operation == QLatin1String("store") && item.endsWith(QLatin1String(".key")))
                    continue;
                QTest::addRow("%s / %s", qPrintable(setup), qPrintable(operation)) << setup << operation << item << reason;
            }
        }
        if (::getuid() == 0) {
            for (const QString &operation : operations) {
                QTest::addRow("directory owned by nobody / %s", qPrintable(operation))
                    << "directory owned by nobody" << operation << "agent-keys" << " is not owned by the current user";
                if (operation != QLatin1String("delete"))
                    QTest::addRow("sealed file owned by nobody / %s", qPrintable(operation))
                        << "sealed file owned by nobody" << operation << "agent-keys/agent.sealed"
                        << " is not owned by the current user";
            }
        }
    }
    void guards()
    {
        QFETCH(QString, setup);
        QFETCH(QString, operation);
        QFETCH(QString, item);
        QFETCH(QString, reason);
        const LocalAgentProfileStore store = sealedStore();
        const QString state = store.stateDirectory();
        const QString directory = store.profileDirectory();
        const QString sealed = inDirectory(store, QStringLiteral("agent.sealed"));
        QVERIFY(QDir().mkpath(state));
        if (!setup.startsWith(QLatin1String("directory"))) {
            store.storeTorvane(agentKey, QStringLiteral("agent"));
        }

        if (setup == QLatin1String("directory 0755")) {
            QVERIFY(QDir().mkpath(directory));
            QFile::setPermissions(directory, ownerDirectory | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                                 | QFile::ExeOther);
        } else if (setup == QLatin1String("directory symlink")) {
            QVERIFY(QDir().mkpath(state + QStringLiteral("/elsewhere")));
            QFile::setPermissions(state + QStringLiteral("/elsewhere"), ownerDirectory);
            QVERIFY(QFile::link(state + QStringLiteral("/elsewhere"), directory));
        } else if (setup == QLatin1String("directory is a file")) {
            writeFile(directory, {}, ownerReadWrite);
        } else if (setup == QLatin1String("sealed file 0644")) {
            QFile::setPermissions(sealed, ownerReadWrite | QFile::ReadGroup | QFile::ReadOther);
        } else if (setup == QLatin1String("sealed file symlink")) {
            QVERIFY(QFile::rename(sealed, state + QStringLiteral("/real.sealed")));
            QVERIFY(QFile::link(state + QStringLiteral("/real.sealed"), sealed));
        } else if (setup == QLatin1String("sealed file is a directory")) {
            QVERIFY(QFile::remove(sealed));
            QVERIFY(QDir().mkpath(sealed));
            QFile::setPermissions(sealed, ownerDirectory);
        } else if (setup == QLatin1String("key file 0640")) {
            QVERIFY(QFile::remove(sealed));
            writeFile(inDirectory(store, QStringLiteral("agent.key")), agentKey.toUtf8(),
                      ownerReadWrite | QFile::ReadGroup);
        } else if (setup == QLatin1String("directory owned by nobody")) {
            QVERIFY(QDir().mkpath(directory));
            QFile::setPermissions(directory, ownerDirectory);
            QCOMPARE(::chown(QFile::encodeName(directory).constData(), ::getpwnam("nobody")->pw_uid, -1), 0);
        } else if (setup == QLatin1String("sealed file owned by nobody")) {
            QCOMPARE(::chown(QFile::encodeName(sealed).constData(), ::getpwnam("nobody")->pw_uid, -1), 0);
        }
        const QString itemPath = state + QLatin1Char('/') + item;
        const int modeBefore = modeOf(itemPath);

        const auto error = thrownBy<LocalAgentProfileStoreError>([&] { run(store, operation); });
        QVERIFY(error);
        QCOMPARE(error->errorDescription(), QStringLiteral("Local setup profile rejected: ") + itemPath + reason);
        QCOMPARE(modeOf(itemPath), modeBefore);
        store.keyPath(QStringLiteral("agent"));
    }
};

QTEST_GUILESS_MAIN(LocalAgentProfileStoreTest)
#include "tst_LocalAgentProfileStore.moc"
