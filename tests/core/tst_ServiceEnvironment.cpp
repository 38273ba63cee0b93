#include "IdentityTestSupport.h"
#include "ServiceEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

TVNRuntimeIdentity identityFor(bool production)
{
    return TVNRuntimeIdentity::resolve(production ? shippingInfo() : QVariantMap(), QStringLiteral("/home/alice"),
                                       QStringLiteral("/home/alice/.local/share"));
}

enum Flag { Packaged = 1, Sealed = 2, BundledSigner = 4 };

} // namespace

class TestServiceEnvironment : public QObject
{
    Q_OBJECT
private slots:
    void identityValuesAlwaysSet()
    {
        const QProcessEnvironment environment = ServiceEnvironment::build(
            identityFor(false), environmentFrom({"PORT=1", "SWITCHYARD_STATE_DIR=/elsewhere", "HOME=/home/alice"}), {});
        const QStringList expected{
            "TVN_RUNTIME_LANE=development", "TVN_SERVICE_LABEL=com.torvane.local.dev", "TVN_APP_BUNDLE_ID=com.torvane.mac.dev",
            "TVN_BROKER_PORT=47382", "TVN_BROKER_URL=http://127.0.0.1:47382", "PORT=47382",
            "SWITCHYARD_STATE_DIR=/home/alice/.torvane-dev/state",
            "TVN_PROFILE_STORE_DIR=/home/alice/.torvane-dev/state/agent-keys",
            "TVN_LOG_DIR=/home/alice/Library/Logs/TorvaneDev",
            "TVN_APPLICATION_SUPPORT_ROOT=/home/alice/.local/share/Torvane Dev", "SWITCHYARD_BIND_MODE=loopback",
            "SWITCHYARD_BIND_HOST=127.0.0.1", "SWITCHYARD_TRUSTED_APP_PATHS=", "HOME=/home/alice"};
        for (const QString &assignment : expected)
            QCOMPARE(assignment.section('=', 0, 0) + '=' + environment.value(assignment.section('=', 0, 0), "<absent>"), assignment);
    }

    // Each row: lane, inherited variables, flags, then expectations ("NAME=value", or "!NAME" for absent).
    void laneAndConditions_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<QStringList>("inherited");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QStringList>("expected");
        const QStringList releaseSwitches{"SWITCHYARD_OPERATOR_BOOTSTRAP=x", "SWITCHYARD_OPERATOR_SEALED=1",
                                          "SWITCHYARD_ENABLE_KEYCHAIN_TRUST_ROUTES=1", "SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=/x",
                                          "SWITCHYARD_BOUND_PROFILE_PUBLIC_KEY_PEM=pem", "TVN_ALLOW_LEGACY_BEARER_PROFILE_MINT=1"};
        QTest::newRow("development strips release switches")
            << false << releaseSwitches << 0
            << QStringList{"!SWITCHYARD_OPERATOR_BOOTSTRAP", "!SWITCHYARD_OPERATOR_SEALED", "!SWITCHYARD_ENABLE_KEYCHAIN_TRUST_ROUTES",
                           "!SWITCHYARD_BOUND_PROFILE_SIGNER_PATH", "!SWITCHYARD_BOUND_PROFILE_PUBLIC_KEY_PEM",
                           "!TVN_ALLOW_LEGACY_BEARER_PROFILE_MINT", "TVN_SKIP_SERVICE_BUILD=0", "SWITCHYARD_BUILD_ID=development",
                           "SWITCHYARD_BUILD_CHANNEL=development"};
        QTest::newRow("production keeps release switches")
            << true << releaseSwitches << 0
            << QStringList{"SWITCHYARD_OPERATOR_BOOTSTRAP=x", "SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=/x",
                           "SWITCHYARD_BOUND_PROFILE_PUBLIC_KEY_PEM=pem", "!SWITCHYARD_BUILD_ID", "!TVN_SKIP_SERVICE_BUILD"};
        QTest::newRow("development ignores the sealed default")
            << false << QStringList() << int(Sealed | Packaged) << QStringList{"!SWITCHYARD_OPERATOR_SEALED", "TVN_SKIP_SERVICE_BUILD=0"};
        QTest::newRow("production sealed default")
            << true << QStringList() << int(Sealed) << QStringList{"SWITCHYARD_OPERATOR_SEALED=1"};
        QTest::newRow("production packaged skips the build")
            << true << QStringList{"TVN_SKIP_SERVICE_BUILD=0"} << int(Packaged) << QStringList{"TVN_SKIP_SERVICE_BUILD=1"};
        QTest::newRow("production checkout passes the build switch through")
            << true << QStringList{"TVN_SKIP_SERVICE_BUILD=0"} << 0 << QStringList{"TVN_SKIP_SERVICE_BUILD=0"};
        QTest::newRow("file keychain mode")
            << true << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=1"} << 0
            << QStringList{"SWITCHYARD_KEYCHAIN_MODE=file", "SWITCHYARD_OPERATOR_BOOTSTRAP_MODE=file",
                           "TVN_PRESERVE_LEGACY_KEYCHAIN=0", "TVN_ENABLE_LEGACY_KEYCHAIN=0", "SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI=0"};
        QTest::newRow("legacy keychain mode keeps its switches")
            << true << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=1", "SWITCHYARD_KEYCHAIN_MODE=keychain"} << 0
            << QStringList{"SWITCHYARD_KEYCHAIN_MODE=keychain", "!SWITCHYARD_OPERATOR_BOOTSTRAP_MODE", "TVN_ENABLE_LEGACY_KEYCHAIN=1"};
        QTest::newRow("development: legacy switches forced off")
            << false << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=1", "SWITCHYARD_KEYCHAIN_MODE=keychain"} << 0
            << QStringList{"SWITCHYARD_KEYCHAIN_MODE=file", "TVN_ENABLE_LEGACY_KEYCHAIN=0"};
        QTest::newRow("bundled signer fills in")
            << false << QStringList{"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=/x"} << int(BundledSigner)
            << QStringList{"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=<resources>/bin/tvn-pop-signer"};
        QTest::newRow("inherited signer wins in production")
            << true << QStringList{"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=/x"} << int(BundledSigner)
            << QStringList{"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=/x"};
        QTest::newRow("no signer without the file")
            << true << QStringList() << 0 << QStringList{"!SWITCHYARD_BOUND_PROFILE_SIGNER_PATH"};
        const QStringList providerRedirects{"TVN_PROVIDER_BASE_URL_GITHUB=http://127.0.0.1:9/github",
                                            "TVN_PROVIDER_BASE_URL_SIMPLE_ANALYTICS=http://127.0.0.1:9/sa"};
        QTest::newRow("development passes provider stand-ins")
            << false << providerRedirects << 0 << providerRedirects;
        QTest::newRow("production drops provider stand-ins")
            << true << providerRedirects << int(Packaged)
            << QStringList{"!TVN_PROVIDER_BASE_URL_GITHUB", "!TVN_PROVIDER_BASE_URL_SIMPLE_ANALYTICS"};
    }
    void laneAndConditions()
    {
        QFETCH(bool, production);
        QFETCH(QStringList, inherited);
        QFETCH(int, flags);
        QFETCH(QStringList, expected);
        QTemporaryDir resources;
        QVERIFY(QDir(resources.path()).mkpath(QStringLiteral("bin")));
        QFile signer(resources.filePath(QStringLiteral("bin/tvn-pop-signer")));
        QVERIFY(signer.open(QIODevice::WriteOnly));
        signer.close();
        if (flags & BundledSigner)
            QVERIFY(signer.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        const ServiceEnvironment::Context context{resources.path(), bool(flags & Packaged), bool(flags & Sealed), {}};
        const QProcessEnvironment environment =
            ServiceEnvironment::build(identityFor(production), environmentFrom(inherited), context);
        for (QString expectation : expected) {
            expectation.replace(QStringLiteral("<resources>"), resources.path());
            if (expectation.startsWith('!')) {
                QVERIFY2(!environment.contains(expectation.mid(1)), qPrintable(expectation));
                continue;
            }
            const QString name = expectation.section('=', 0, 0);
            QCOMPARE(name + '=' + environment.value(name, "<absent>"), expectation);
        }
    }

    void searchPath_data()
    {
        QTest::addColumn<std::optional<QString>>("resources");
        QTest::addColumn<QString>("inherited");
        QTest::addColumn<QString>("path");
        QTest::newRow("full") << std::optional<QString>("/opt/tvn/share/torvane") << "/home/alice/bin:/usr/bin"
                              << "/opt/tvn/share/torvane/bin:/home/linuxbrew/.linuxbrew/bin:/usr/local/bin:"
                                 "/home/alice/bin:/usr/bin:/usr/bin:/bin";
        QTest::newRow("no resources, no PATH") << std::optional<QString>() << ""
                                               << "/home/linuxbrew/.linuxbrew/bin:/usr/local/bin:/usr/bin:/bin";
    }
    void searchPath()
    {
        QFETCH(std::optional<QString>, resources);
        QFETCH(QString, inherited);
        QFETCH(QString, path);
        QCOMPARE(ServiceEnvironment::searchPath(resources, inherited), path);
        QCOMPARE(ServiceEnvironment::build(identityFor(false), environmentFrom({"PATH=" + inherited}), {resources, false, false, {}})
                     .value(QStringLiteral("PATH")),
                 path);
    }
};

QTEST_GUILESS_MAIN(TestServiceEnvironment)
#include "tst_ServiceEnvironment.moc"
