#include "IdentityTestSupport.h"
#include "KeychainVault.h"
#include "KeychainVaultError.h"
#include "KeyringDaemon.h"
#include "LibsecretSecretStore.h"

#include <QElapsedTimer>
#include <QTest>

// The legacy unlock item read from a real gnome-keyring on the test's private session bus.

namespace {

using namespace std::chrono_literals;

TVNRuntimeIdentity identityIn(bool production)
{
    return TVNRuntimeIdentity::resolve(production ? shippingInfo() : QVariantMap(), QStringLiteral("/home/operator"));
}

KeychainVault vaultFor(bool production, std::chrono::milliseconds timeLimit = 5s)
{
    return KeychainVault(identityIn(production), std::make_shared<LibsecretSecretStore>(timeLimit));
}

struct StoredItem
{
    QString service;
    QString account;
    QByteArray secret;
};

} // namespace

Q_DECLARE_METATYPE(StoredItem)

class TestKeychainVault : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        if (!KeyringDaemon::onPrivateBus())
            QSKIP("run through ctest: this test needs its private session bus (dbus-run-session with "
                  "private-session-bus.conf), so it never touches your own keyring");
    }

    void fields()
    {
        const KeychainVault vault = vaultFor(true);
        QCOMPARE(vault.service(), QStringLiteral("local.switchyard.vault"));
        QCOMPARE(vault.account(), QStringLiteral("root-key"));
        QCOMPARE(vault.operatorAccount(), QStringLiteral("operator-bootstrap"));
        QCOMPARE(vault.runtimeIdentity(), identityIn(true));
    }

    void loadOperatorBootstrapSecret_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<QList<StoredItem>>("items");
        QTest::addColumn<std::optional<QString>>("reportedService");
        QTest::addColumn<std::optional<QString>>("secret");
        const QString devService = QStringLiteral("Torvane Dev Operator Unlock");
        const QString service = QStringLiteral("Torvane Operator Unlock");
        const std::optional<QString> none;
        QTest::newRow("stored item found, trimmed")
            << false << QList<StoredItem>{{devService, "operator-bootstrap", " boot-secret\n"}} << none
            << std::optional<QString>("boot-secret");
        QTest::newRow("missing item") << false << QList<StoredItem>() << none << none;
        QTest::newRow("another account of the service is not it")
            << false << QList<StoredItem>{{devService, "root-key", "root"}} << none << none;
        QTest::newRow("production reads the broker-reported service")
            << true << QList<StoredItem>{{"Custom Unlock", "operator-bootstrap", "custom"}, {service, "operator-bootstrap", "own"}}
            << std::optional<QString>(" Custom Unlock ") << std::optional<QString>("custom");
        QTest::newRow("production, blank report: its own service")
            << true << QList<StoredItem>{{service, "operator-bootstrap", "own"}} << std::optional<QString>("  ")
            << std::optional<QString>("own");
        QTest::newRow("development keeps its own service")
            << false << QList<StoredItem>{{"Custom Unlock", "operator-bootstrap", "custom"}}
            << std::optional<QString>("Custom Unlock") << none;
        QTest::newRow("secret that is not UTF-8") << false
                                                  << QList<StoredItem>{{devService, "operator-bootstrap", "\xff\xfe"}}
                                                  << none << none;
    }
    void loadOperatorBootstrapSecret()
    {
        QFETCH(bool, production);
        QFETCH(QList<StoredItem>, items);
        QFETCH(std::optional<QString>, reportedService);
        QFETCH(std::optional<QString>, secret);
        KeyringDaemon keyring;
        QVERIFY2(keyring.start(), qPrintable(keyring.error()));
        for (const StoredItem &item : items)
            QVERIFY2(keyring.store(item.service, item.account, item.secret), qPrintable(keyring.error()));
        QCOMPARE(vaultFor(production).loadOperatorBootstrapSecret(reportedService), secret);
    }

    // Reading never unlocks: the locked keyring is reported, not prompted for.
    void lockedKeyringNeedsPermission()
    {
        KeyringDaemon keyring;
        QVERIFY2(keyring.start(), qPrintable(keyring.error()));
        QVERIFY2(keyring.store(QStringLiteral("Torvane Dev Operator Unlock"), QStringLiteral("operator-bootstrap"),
                               "boot-secret"),
                 qPrintable(keyring.error()));
        QVERIFY2(keyring.lockDefaultCollection(), qPrintable(keyring.error()));
        try {
            vaultFor(false).loadOperatorBootstrapSecret(std::nullopt);
            QFAIL("a locked keyring was read");
        } catch (const KeychainVaultError &error) {
            QCOMPARE(error.kind(), KeychainVaultError::Kind::loadFailed);
            QCOMPARE(error.code(), -25308);
            QCOMPARE(error.description(), QStringLiteral("Legacy unlock permission required"));
        }
    }

    void serviceThatCannotAnswer_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no Secret Service on the bus")
            << false << "(No keyring service (Secret Service) is running in this session.)";
        QTest::newRow("Secret Service that never answers")
            << true << "(The keyring service did not answer within 2 seconds.)";
    }
    void serviceThatCannotAnswer()
    {
        QFETCH(bool, running);
        QFETCH(QString, reason);
        KeyringDaemon keyring;
        if (running) {
            QVERIFY2(keyring.start(), qPrintable(keyring.error()));
            keyring.suspend();
        }
        QElapsedTimer elapsed;
        elapsed.start();
        try {
            vaultFor(false, 2s).loadOperatorBootstrapSecret(std::nullopt);
            QFAIL("a secret was read without a keyring service");
        } catch (const KeychainVaultError &error) {
            QCOMPARE(error.kind(), KeychainVaultError::Kind::loadFailed);
            QVERIFY2(error.description().startsWith(
                         QStringLiteral("Unable to load local root key from the legacy Linux store: ")),
                     qPrintable(error.description()));
            QVERIFY2(error.description().endsWith(reason), qPrintable(error.description()));
        }
        // Bounded well below D-Bus's own 25-second reply timeout.
        QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
    }

    void errorTexts_data()
    {
        QTest::addColumn<KeychainVaultError>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("random generation") << KeychainVaultError::randomGenerationFailed(-26275)
                                           << "Unable to generate local root key: -26275";
        QTest::newRow("load, interaction not allowed") << KeychainVaultError::loadFailed(-25308)
                                                       << "Legacy unlock permission required";
        QTest::newRow("load, other code") << KeychainVaultError::loadFailed(-25293)
                                          << "Unable to load local root key from the legacy Linux store: -25293";
        QTest::newRow("store") << KeychainVaultError::storeFailed(-25299) << "Unable to store local legacy unlock item: -25299";
    }
    void errorTexts()
    {
        QFETCH(KeychainVaultError, error);
        QFETCH(QString, text);
        QCOMPARE(error.description(), text);
        QCOMPARE(QString::fromUtf8(error.what()), text);
    }
};

QTEST_GUILESS_MAIN(TestKeychainVault)
#include "tst_KeychainVault.moc"
