#include "IdentityTestSupport.h"
#include "TVNEnvironment.h"

#include <QTest>

namespace {

TVNEnvironment environmentWith(const QStringList &assignments)
{
    return TVNEnvironment(environmentFrom(assignments));
}

} // namespace

class TestTVNEnvironment : public QObject
{
    Q_OBJECT
private slots:
    void truthyRule_data()
    {
        QTest::addColumn<std::optional<QString>>("value");
        QTest::addColumn<bool>("truthy");
        for (const char *yes : {"1", "true", "YES", " On\n", "\ttrue "})
            QTest::newRow(yes) << std::optional<QString>(yes) << true;
        for (const char *no : {"0", "false", "", "y", "enabled", "1 1"})
            QTest::newRow(no) << std::optional<QString>(no) << false;
        QTest::newRow("absent") << std::optional<QString>() << false;
    }
    void truthyRule()
    {
        QFETCH(std::optional<QString>, value);
        QFETCH(bool, truthy);
        QCOMPARE(TVNEnvironment::isTruthy(value), truthy);
    }

    void startTimeoutBounds_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<std::optional<double>>("override");
        QTest::newRow("absent") << QStringList() << std::optional<double>();
        QTest::newRow("below range") << QStringList{"TVN_SERVICE_START_TIMEOUT_SECONDS=10"} << std::optional<double>(30);
        QTest::newRow("above range") << QStringList{"TVN_SERVICE_START_TIMEOUT_SECONDS=5000"} << std::optional<double>(900);
        QTest::newRow("inside range, fractional") << QStringList{"TVN_SERVICE_START_TIMEOUT_SECONDS= 45.5 "} << std::optional<double>(45.5);
        QTest::newRow("not a number") << QStringList{"TVN_SERVICE_START_TIMEOUT_SECONDS=soon"} << std::optional<double>();
        QTest::newRow("nan") << QStringList{"TVN_SERVICE_START_TIMEOUT_SECONDS=nan"} << std::optional<double>();
        QTest::newRow("empty") << QStringList{"TVN_SERVICE_START_TIMEOUT_SECONDS="} << std::optional<double>();
    }
    void startTimeoutBounds()
    {
        QFETCH(QStringList, environment);
        QFETCH(std::optional<double>, override);
        QCOMPARE(environmentWith(environment).serviceStartTimeoutOverride(), override);
    }

    void takeoverWaitBounds_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<double>("seconds");
        QTest::newRow("absent") << QStringList() << 5.0;
        QTest::newRow("below range") << QStringList{"TVN_TAKEOVER_WAIT_SECONDS=0.2"} << 1.0;
        QTest::newRow("above range") << QStringList{"TVN_TAKEOVER_WAIT_SECONDS=120"} << 60.0;
        QTest::newRow("inside range") << QStringList{"TVN_TAKEOVER_WAIT_SECONDS=12"} << 12.0;
        QTest::newRow("unparsable") << QStringList{"TVN_TAKEOVER_WAIT_SECONDS=a while"} << 5.0;
        QTest::newRow("negative") << QStringList{"TVN_TAKEOVER_WAIT_SECONDS=-3"} << 1.0;
    }
    void takeoverWaitBounds()
    {
        QFETCH(QStringList, environment);
        QFETCH(double, seconds);
        QCOMPARE(environmentWith(environment).takeoverWaitSeconds(), seconds);
    }

    void legacyKeychainMode_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("legacy");
        const QStringList both{"TVN_ENABLE_LEGACY_KEYCHAIN=yes", "SWITCHYARD_KEYCHAIN_MODE=keychain"};
        QTest::newRow("production, opted in, keychain mode") << true << both << true;
        QTest::newRow("development never") << false << both << false;
        QTest::newRow("opt-in alone") << true << QStringList{"TVN_PRESERVE_LEGACY_KEYCHAIN=1"} << false;
        QTest::newRow("mode alone") << true << QStringList{"SWITCHYARD_OPERATOR_BOOTSTRAP_MODE=keychain"} << false;
        QTest::newRow("bootstrap mode with UI switch")
            << true << QStringList{"SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI=on", "SWITCHYARD_OPERATOR_BOOTSTRAP_MODE=keychain"} << true;
        QTest::newRow("mode must be exact")
            << true << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=1", "SWITCHYARD_KEYCHAIN_MODE=Keychain "} << false;
        QTest::newRow("opt-in switch falsy")
            << true << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=0", "SWITCHYARD_KEYCHAIN_MODE=keychain"} << false;
    }
    void legacyKeychainMode()
    {
        QFETCH(bool, production);
        QFETCH(QStringList, environment);
        QFETCH(bool, legacy);
        QCOMPARE(environmentWith(environment).legacyKeychainMode(production ? TVNRuntimeLane::production : TVNRuntimeLane::development),
                 legacy);
    }

    void pathsAndSection()
    {
        const TVNEnvironment environment = environmentWith({"TVN_SERVICE_ROOT= ", "SWITCHYARD_STATE_DIR=/tmp/state",
                                                            "TVN_SETTINGS_INITIAL_SECTION= Security \n"});
        QCOMPARE(environment.serviceRootOverride(), std::nullopt);
        QCOMPARE(environment.stateDirectoryOverride(), std::optional<QString>("/tmp/state"));
        QCOMPARE(environment.settingsInitialSection(), QStringLiteral("security"));
        QCOMPARE(environment.boundProfileSignerPath(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestTVNEnvironment)
#include "tst_TVNEnvironment.moc"
