#include "AppMetadata.h"
#include "IdentityTestSupport.h"
#include "TVNRuntimeIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QVariantMap shippingWith(const QString &key, const QVariant &value)
{
    QVariantMap info = shippingInfo();
    if (value.isValid())
        info.insert(key, value);
    else
        info.remove(key);
    return info;
}

const QString home = QStringLiteral("/home/alice");
const QString support = QStringLiteral("/home/alice/.local/share");

} // namespace

class TestTVNRuntimeIdentity : public QObject
{
    Q_OBJECT
private slots:
    void laneRawValues()
    {
        QCOMPARE(TVNRuntimeLanes::rawValue(TVNRuntimeLane::development), QStringLiteral("development"));
        QCOMPARE(TVNRuntimeLanes::rawValue(TVNRuntimeLane::production), QStringLiteral("production"));
        QCOMPARE(TVNRuntimeLanes::fromRawValue(QStringLiteral("production")), std::optional(TVNRuntimeLane::production));
        QCOMPARE(TVNRuntimeLanes::fromRawValue(QStringLiteral("Production")), std::nullopt);
        QCOMPARE(TVNRuntimeLanes::fromRawValue(QStringLiteral(" development")), std::nullopt);
    }

    void selectsLane_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<bool>("production");
        QTest::newRow("shipping metadata") << shippingInfo() << true;
        QTest::newRow("values padded with blanks") << shippingWith("CFBundleName", " Torvane\n") << true;
        QTest::newRow("port as padded string") << shippingWith("TVNBrokerPort", " 47381 ") << true;
        QTest::newRow("port as string with plus") << shippingWith("TVNBrokerPort", "+47381") << true;
        QTest::newRow("port as double") << shippingWith("TVNBrokerPort", 47381.0) << true;
        QTest::newRow("port as 64-bit integer") << shippingWith("TVNBrokerPort", qlonglong(47381)) << true;
        QTest::newRow("port digits then letter") << shippingWith("TVNBrokerPort", "47381a") << false;
        QTest::newRow("port sign only") << shippingWith("TVNBrokerPort", "+") << false;
        QTest::newRow("port empty string") << shippingWith("TVNBrokerPort", "") << false;
        QTest::newRow("port overflows 64 bits") << shippingWith("TVNBrokerPort", "99999999999999999999999") << false;
        QTest::newRow("port as boolean") << shippingWith("TVNBrokerPort", true) << false;
        QTest::newRow("declared port 50000") << shippingWith("TVNBrokerPort", 50000) << false;
        QTest::newRow("display name differs") << shippingWith("CFBundleDisplayName", "Torvane Pro") << false;
        QTest::newRow("lane with capital P") << shippingWith("TVNRuntimeLane", "Production") << false;
        QTest::newRow("lane missing") << shippingWith("TVNRuntimeLane", QVariant()) << false;
        QTest::newRow("label as number") << shippingWith("TVNServiceLabel", 5) << false;
        QTest::newRow("support name differs") << shippingWith("TVNApplicationSupportName", "Torvane Dev") << false;
        QTest::newRow("empty metadata") << QVariantMap() << false;
    }
    void selectsLane()
    {
        QFETCH(QVariantMap, info);
        QFETCH(bool, production);
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve(info, home, support);
        QCOMPARE(identity.lane(), production ? TVNRuntimeLane::production : TVNRuntimeLane::development);
        // Declared values are only compared: the port is always the lane's own.
        QCOMPARE(identity.brokerPort(), production ? 47381 : 47382);
        QCOMPARE(identity.serviceLabel(), production ? QStringLiteral("com.torvane.local") : QStringLiteral("com.torvane.local.dev"));
    }

    void derivesEveryField_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("production") << shippingInfo() << QStringList{
            "Torvane", "com.torvane.mac", "com.torvane.local", "local.switchyard.vault", "Torvane Operator Unlock",
            "/home/alice/.torvane", "/home/alice/.torvane/state", "/home/alice/.torvane/state/agent-keys",
            "/home/alice/Library/Logs/Torvane", "/home/alice/.local/share/Torvane", "/home/alice/.local/share/Torvane/Service",
            "http://127.0.0.1:47381", "file:///home/alice/.torvane/state/agent-keys/"};
        QTest::newRow("development") << QVariantMap() << QStringList{
            "Torvane Dev", "com.torvane.mac.dev", "com.torvane.local.dev", "local.switchyard.vault.dev", "Torvane Dev Operator Unlock",
            "/home/alice/.torvane-dev", "/home/alice/.torvane-dev/state", "/home/alice/.torvane-dev/state/agent-keys",
            "/home/alice/Library/Logs/TorvaneDev", "/home/alice/.local/share/Torvane Dev",
            "/home/alice/.local/share/Torvane Dev/Service", "http://127.0.0.1:47382",
            "file:///home/alice/.torvane-dev/state/agent-keys/"};
    }
    void derivesEveryField()
    {
        QFETCH(QVariantMap, info);
        QFETCH(QStringList, expected);
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve(info, home + QStringLiteral("/"), support);
        const QStringList actual{
            identity.appName(), identity.bundleIdentifier(), identity.serviceLabel(), identity.keychainVaultService(),
            identity.operatorKeychainService(), identity.stateRootPath(), identity.stateDirectoryPath(),
            identity.profileStorePath(), identity.logDirectoryPath(), identity.applicationSupportRootPath(),
            identity.serviceRootPath(), identity.brokerURL().toString(), identity.profileStoreURL().toString()};
        QCOMPARE(actual, expected);
        QCOMPARE(identity, TVNRuntimeIdentity::resolve(info, home, support));
        QVERIFY(identity != TVNRuntimeIdentity::resolve(info, QStringLiteral("/home/bob"), support));
    }

    void applicationSupportDefaultsToXdgDataHome()
    {
        qputenv("XDG_DATA_HOME", "/srv/data/alice");
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve({}, home);
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(identity.applicationSupportRootPath(), QStringLiteral("/srv/data/alice/Torvane Dev"));
    }

    void resolvesOperatorKeychainService_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<std::optional<QString>>("reported");
        QTest::addColumn<QString>("expected");
        QTest::newRow("production, padded name") << true << std::optional<QString>(" Other Unlock\n") << "Other Unlock";
        QTest::newRow("production, blanks") << true << std::optional<QString>(" \t") << "Torvane Operator Unlock";
        QTest::newRow("production, absent") << true << std::optional<QString>() << "Torvane Operator Unlock";
        QTest::newRow("development ignores broker") << false << std::optional<QString>("Other Unlock") << "Torvane Dev Operator Unlock";
    }
    void resolvesOperatorKeychainService()
    {
        QFETCH(bool, production);
        QFETCH(std::optional<QString>, reported);
        QFETCH(QString, expected);
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve(production ? shippingInfo() : QVariantMap(), home, support);
        QCOMPARE(identity.resolvedOperatorKeychainService(reported), expected);
    }

    void readsAppMetadata_data()
    {
        QTest::addColumn<QByteArray>("infoJson");
        QTest::addColumn<QStringList>("expected"); // version line, build id, source sha
        QTest::newRow("stamped") << QByteArray(R"({"CFBundleShortVersionString":"0.0.11","CFBundleVersion":"11",)"
                                               R"("TVNBuildChannel":"beta","TVNSourceSha":"0123456789abcdef0123"})")
                                 << QStringList{"v0.0.11 (beta, build 11)", "0.0.11+11", "0123456789ab"};
        QTest::newRow("explicit build id") << QByteArray(R"({"TVNBuildId":"2026.1","TVNBuildChannel":"stable"})")
                                           << QStringList{"v0.0.1 (stable, build 1)", "2026.1", "unknown"};
        QTest::newRow("broken file") << QByteArray("{not json")
                                     << QStringList{"v0.0.1 (development, build 1)", "0.0.1+1", "unknown"};
        QTest::newRow("array at top level") << QByteArray("[]")
                                            << QStringList{"v0.0.1 (development, build 1)", "0.0.1+1", "unknown"};
    }
    void readsAppMetadata()
    {
        QFETCH(QByteArray, infoJson);
        QFETCH(QStringList, expected);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/torvane")));
        QFile file(prefix.filePath(QStringLiteral("share/torvane/Info.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(infoJson);
        file.close();
        const AppMetadata metadata = AppMetadata::forPrefix(prefix.path());
        QCOMPARE((QStringList{metadata.versionLine(), metadata.buildId(), metadata.sourceShaDisplay()}), expected);
        QCOMPARE(metadata.resourcesDirectory(), prefix.filePath(QStringLiteral("share/torvane")));
    }

    void missingInfoFileIsEmptyDictionary()
    {
        QTemporaryDir prefix;
        QVERIFY(AppMetadata::forPrefix(prefix.path()).infoDictionary().isEmpty());
    }

    void generatedInfoSelectsDevelopmentLane()
    {
        // The build's own Info.json: the lane every development run gets.
        const AppMetadata metadata = AppMetadata::forPrefix(QStringLiteral(TVN_BINARY_DIR));
        QVERIFY(!metadata.infoDictionary().isEmpty());
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve(metadata.infoDictionary(), home, support);
        QCOMPARE(identity.lane(), TVNRuntimeLane::development);
        QCOMPARE(metadata.buildChannel(), QStringLiteral("development"));
        // Test executables sit in <build>/tests, so the running program's prefix is the build.
        QCOMPARE(AppMetadata::current().prefixDirectory(), QDir(QStringLiteral(TVN_BINARY_DIR)).absolutePath());
        QCOMPARE(AppMetadata::runtimeIdentity().brokerPort(), 47382);
    }

    void packagedInfoSelectsProductionLane()
    {
        // The Info.json a package ships, generated beside the build from the same template.
        const AppMetadata metadata = AppMetadata::forPrefix(QStringLiteral(TVN_BINARY_DIR "/production-prefix"));
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve(metadata.infoDictionary(), home, support);
        QCOMPARE(identity.lane(), TVNRuntimeLane::production);
        QCOMPARE(identity.brokerPort(), 47381);
        QCOMPARE(identity.serviceLabel(), QStringLiteral("com.torvane.local"));
        QCOMPARE(metadata.buildChannel(), QStringLiteral("production"));
        QVERIFY2(metadata.buildId().startsWith(metadata.shortVersion() + QLatin1Char('+') + metadata.bundleVersion()),
                 qPrintable(metadata.buildId()));
    }
};

QTEST_GUILESS_MAIN(TestTVNRuntimeIdentity)
#include "tst_TVNRuntimeIdentity.moc"
