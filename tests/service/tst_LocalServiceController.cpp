#include "LocalServiceController.h"
#include "NodeInvocation.h"
#include "OwnedDirectoryRemoval.h"
#include "ServiceRootLocator.h"
#include "ServiceTestSupport.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <limits>

#include <sys/stat.h>

// Unit tests of the controller. The control script is replaced by small Node stand-ins only
// where a fault must be injected (a child that never exits, a bad exit, unreadable output);
// the real script runs in tst_localservice_integration.
namespace {

const QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

const QByteArray statusLine = R"({"status":"ready","launchAgent":"loaded","broker":"listening",)"
                              R"("dashboardUrl":"http://127.0.0.1:47382","stateDir":"/s","logDir":"/l"})";

// A stand-in checkout: <root>/package.json and <root>/scripts/local-service.mjs; the app's
// prefix is <root>/build, so the controller finds the checkout by walking up.
struct StandInCheckout {
    QTemporaryDir root;
    QString home() const { return root.filePath(QStringLiteral("home")); }
    QString prefix() const { return root.filePath(QStringLiteral("build")); }

    bool write(const QByteArray &script)
    {
        return QDir().mkpath(home()) && QDir().mkpath(prefix())
            && writeFile(root.filePath(QStringLiteral("package.json")), "{}")
            && writeFile(root.filePath(QStringLiteral("scripts/local-service.mjs")), script);
    }
};

bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

QStringList lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// An in-bundle service: <resources>/Service with the three identifying files.
bool writeBundledService(const QString &resources, const QByteArray &version)
{
    const QDir service(resources + QStringLiteral("/Service"));
    return writeFile(service.filePath(QStringLiteral("tvn-build.json")), version)
        && writeFile(service.filePath(QStringLiteral("package.json")), "{}")
        && writeFile(service.filePath(QStringLiteral("scripts/local-service.mjs")), "// service\n");
}

// An installed app whose resources carry the service: <root>/prefix/share/torvane/Service.
struct BundledApp {
    QTemporaryDir root;
    QString resources() const { return root.filePath(QStringLiteral("prefix/share/torvane")); }
    LocalServiceContext context() const
    {
        return serviceContext(root.filePath(QStringLiteral("home")), root.filePath(QStringLiteral("prefix")), resources());
    }
    bool write(const QByteArray &version) const { return writeBundledService(resources(), version); }
};

} // namespace

class TestLocalServiceController : public QObject
{
    Q_OBJECT
private slots:
    void commandWordsAndTimeouts_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("word");
        QTest::addColumn<double>("defaultSeconds");
        QTest::addColumn<double>("withOverrideOf10");
        QTest::newRow("install") << int(LocalServiceCommand::install) << "install" << 240.0 << 30.0;
        QTest::newRow("start") << int(LocalServiceCommand::start) << "start" << 120.0 << 30.0;
        QTest::newRow("stop") << int(LocalServiceCommand::stop) << "stop" << 30.0 << 30.0;
        QTest::newRow("status") << int(LocalServiceCommand::status) << "status" << 25.0 << 25.0;
        QTest::newRow("open") << int(LocalServiceCommand::open) << "open" << 25.0 << 25.0;
        QTest::newRow("uninstall") << int(LocalServiceCommand::uninstall) << "uninstall" << 30.0 << 30.0;
    }
    void commandWordsAndTimeouts()
    {
        QFETCH(int, command);
        QFETCH(QString, word);
        QFETCH(double, defaultSeconds);
        QFETCH(double, withOverrideOf10);
        const auto c = LocalServiceCommand(command);
        QCOMPARE(LocalServiceCommands::argumentWord(c), word);
        QCOMPARE(LocalServiceCommands::defaultTimeoutSeconds(c, TVNEnvironment(QProcessEnvironment())), defaultSeconds);
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("TVN_SERVICE_START_TIMEOUT_SECONDS"), QStringLiteral("10"));
        QCOMPARE(LocalServiceCommands::defaultTimeoutSeconds(c, TVNEnvironment(environment)), withOverrideOf10);
    }

    void errorTextsNeverCarryThePayload()
    {
        const auto error = LocalServiceControlError::invalidStatus(QStringLiteral("secret-token-123"));
        QCOMPARE(error.description(), QStringLiteral("TVN service returned an unreadable status. Try Check Again, or open the local service logs for details."));
        QVERIFY(!QString::fromUtf8(error.what()).contains(QStringLiteral("secret")));
        QCOMPARE(LocalServiceControlError::timedOut(QStringLiteral("install")).payload(), QStringLiteral("install"));
    }

    void findsDevelopmentCheckout_data()
    {
        QTest::addColumn<QString>("prefixBelowCheckout");
        QTest::addColumn<bool>("found");
        QTest::newRow("prefix is the checkout") << "" << true;
        QTest::newRow("eight levels below") << "1/2/3/4/5/6/7/8" << true;
        QTest::newRow("nine levels below") << "1/2/3/4/5/6/7/8/9" << false;
    }
    void findsDevelopmentCheckout()
    {
        QFETCH(QString, prefixBelowCheckout);
        QFETCH(bool, found);
        QTemporaryDir root;
        const QString checkout = root.filePath(QStringLiteral("a/b/c/d/e/checkout"));
        QVERIFY(writeFile(checkout + QStringLiteral("/package.json"), "{}"));
        QVERIFY(writeFile(checkout + QStringLiteral("/scripts/local-service.mjs"), "//"));
        const QString prefix = QDir::cleanPath(checkout + QLatin1Char('/') + prefixBelowCheckout);
        QVERIFY(QDir().mkpath(prefix));
        const LocalServiceContext context = serviceContext(root.filePath(QStringLiteral("home")), prefix);
        const ServiceRootLocator locator(context);
        QCOMPARE(locator.developmentCheckoutRoot(), found ? std::optional<QString>(checkout) : std::nullopt);
        if (!found) {
            const ServiceOutcome outcome = finish(LocalServiceController(context).run(LocalServiceCommand::status));
            QCOMPARE(outcome.errorKind(), std::optional(LocalServiceControlError::Kind::missingServiceBundle));
        }
    }

    // The installed copy is refreshed only when an identifying file differs, and never to stop.
    void refreshesInstalledCopy_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("installedDiffers");
        QTest::addColumn<bool>("copied");
        QTest::newRow("install, same files") << int(LocalServiceCommand::install) << false << false;
        QTest::newRow("install, build file differs") << int(LocalServiceCommand::install) << true << true;
        QTest::newRow("status, build file differs") << int(LocalServiceCommand::status) << true << true;
        QTest::newRow("stop, build file differs") << int(LocalServiceCommand::stop) << true << false;
        QTest::newRow("uninstall, build file differs") << int(LocalServiceCommand::uninstall) << true << false;
    }
    void refreshesInstalledCopy()
    {
        QFETCH(int, command);
        QFETCH(bool, installedDiffers);
        QFETCH(bool, copied);
        BundledApp app;
        QVERIFY(app.write("{\"buildId\":\"2\"}"));
        const LocalServiceContext context = app.context();
        const QString installed = context.identity.serviceRootPath();
        QVERIFY(writeBundledService(context.identity.applicationSupportRootPath(), installedDiffers ? "{\"buildId\":\"1\"}" : "{\"buildId\":\"2\"}"));
        const QString marker = installed + QStringLiteral("/installed-marker");
        QVERIFY(writeFile(marker, "x"));

        const ServiceRootLocator locator(context);
        QCOMPARE(locator.prepare(LocalServiceCommand(command)), installed);
        QCOMPARE(!QFile::exists(marker), copied);
        QVERIFY(locator.isPackagedServiceRoot(installed));
    }

    void linkedInstalledCopyIsReplacedNotEmptied()
    {
        BundledApp app;
        QVERIFY(app.write("{\"buildId\":\"2\"}"));
        const LocalServiceContext context = app.context();
        const QString elsewhere = app.root.filePath(QStringLiteral("my-checkout"));
        QVERIFY(writeFile(elsewhere + QStringLiteral("/precious"), "keep"));
        QVERIFY(QDir().mkpath(context.identity.applicationSupportRootPath()));
        QVERIFY(QFile::link(elsewhere, context.identity.serviceRootPath()));

        QCOMPARE(ServiceRootLocator(context).prepare(LocalServiceCommand::install), context.identity.serviceRootPath());
        QVERIFY(!QFileInfo(context.identity.serviceRootPath()).isSymLink());
        QVERIFY(ServiceRootLocator::holdsControlScript(context.identity.serviceRootPath()));
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/precious")));
    }

    // A copy that cannot finish (here: a FIFO the copy refuses, which holds even for root) leaves
    // the previous copy in place and no half copy that a later launch would take for current.
    void failedCopyKeepsThePreviousCopy()
    {
        BundledApp app;
        QVERIFY(app.write("{\"buildId\":\"2\"}"));
        QCOMPARE(::mkfifo(QFile::encodeName(app.resources() + QStringLiteral("/Service/pipe")).constData(), 0600), 0);
        const LocalServiceContext context = app.context();
        const QString installed = context.identity.serviceRootPath();
        QVERIFY(writeBundledService(context.identity.applicationSupportRootPath(), "{\"buildId\":\"1\"}"));

        const ServiceRootLocator locator(context);
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool failed = false;
            try {
                locator.prepare(LocalServiceCommand::install);
            } catch (const LocalServiceControlError &error) {
                failed = error.kind() == LocalServiceControlError::Kind::fileOperationFailed;
            }
            QVERIFY(failed);
        }
        QFile build(installed + QStringLiteral("/tvn-build.json"));
        QVERIFY(build.open(QIODevice::ReadOnly));
        QCOMPARE(build.readAll(), QByteArray("{\"buildId\":\"1\"}"));
        QCOMPARE(QDir(context.identity.applicationSupportRootPath())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QFileInfo(installed).fileName()});
    }

    void stopWithoutInstalledCopyRunsInBundle()
    {
        BundledApp app;
        QVERIFY(app.write("{}"));
        const QString resources = app.resources();
        const LocalServiceContext context = app.context();
        QCOMPARE(ServiceRootLocator(context).prepare(LocalServiceCommand::stop), resources + QStringLiteral("/Service"));
        QVERIFY(!QFile::exists(context.identity.serviceRootPath()));
    }

    void packagedServiceNeedsBundledNode()
    {
        BundledApp app;
        QVERIFY(app.write("{}"));
        const QString resources = app.resources();
        const LocalServiceContext context = app.context();
        // Node is installed on this machine, yet a packaged service must not use it.
        for (const LocalServiceCommand command : {LocalServiceCommand::status, LocalServiceCommand::stop}) {
            const ServiceOutcome outcome = finish(LocalServiceController(context).run(command));
            QCOMPARE(outcome.errorKind(), std::optional(LocalServiceControlError::Kind::missingNode));
        }
        QVERIFY(writeFile(resources + QStringLiteral("/bin/node"), "#!/bin/sh\n", executable));
        QCOMPARE(NodeInvocation::resolve(resources, true), (NodeInvocation{resources + QStringLiteral("/bin/node"), {}}));
        const NodeInvocation fallback = NodeInvocation::resolve(std::nullopt, false);
        QVERIFY(fallback.executable == QStringLiteral("/usr/bin/env") ? fallback.argumentsPrefix == QStringList{"node"}
                                                                      : fallback.argumentsPrefix.isEmpty());
    }

    void packagedServiceRunsFromTheInstalledCopy()
    {
        BundledApp app;
        QVERIFY(app.write("{}"));
        const QString resources = app.resources();
        QVERIFY(writeFile(resources + QStringLiteral("/Service/scripts/local-service.mjs"),
                          "console.log(JSON.stringify(Object.assign(" + statusLine + ", {serviceRoot: process.cwd()})));\n"));
        // The bundled runtime: a wrapper around this machine's Node (a bare "node" would find itself).
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        QVERIFY(!node.isEmpty());
        QVERIFY(writeFile(resources + QStringLiteral("/bin/node"), "#!/bin/sh\nexec '" + node.toUtf8() + "' \"$@\"\n", executable));
        const LocalServiceContext context = app.context();
        const ServiceOutcome outcome = finish(LocalServiceController(context).run(LocalServiceCommand::status));
        QVERIFY2(outcome.status, outcome.error ? qPrintable(outcome.error->description()) : "");
        QCOMPARE(outcome.status->serviceRoot, std::optional<QString>(context.identity.serviceRootPath()));
    }

    void unlaunchableNodeIsALaunchError()
    {
        StandInCheckout checkout;
        QVERIFY(checkout.write("//"));
        const QString resources = checkout.root.filePath(QStringLiteral("build/share/torvane"));
        // Executable, but neither a binary nor a script: the platform refuses to run it.
        QVERIFY(writeFile(resources + QStringLiteral("/bin/node"), QByteArray(64, '\x01'), executable));
        const ServiceOutcome outcome =
            finish(LocalServiceController(serviceContext(checkout.home(), checkout.prefix(), resources)).run(LocalServiceCommand::status));
        QCOMPARE(outcome.errorKind(), std::optional(LocalServiceControlError::Kind::launchFailed));
        QVERIFY(!outcome.error->description().isEmpty());
    }

    void trustedAppPathsNameTheWrapper()
    {
        StandInCheckout checkout;
        QVERIFY(checkout.write("//"));
        LocalServiceController controller(serviceContext(checkout.home(), checkout.prefix()));
        QCOMPARE(controller.trustedAppPaths(), QString());
        QVERIFY(writeFile(checkout.root.filePath(QStringLiteral("script/tvn-mcp-launch.sh")), "#!/bin/sh\n", executable));
        QCOMPARE(controller.trustedAppPaths(), checkout.root.filePath(QStringLiteral("script/tvn-mcp-launch.sh")));
        QCOMPARE(controller.resolvedServiceRoot(), std::optional<QString>(checkout.root.path()));
        QCOMPARE(controller.serviceUnitPath(), checkout.home() + QStringLiteral("/.config/systemd/user/com.torvane.local.dev.service"));
    }

    // Stand-in scripts: what the child prints and how it exits decides the outcome.
    void decodesTheChildsOutcome_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("errorKind"); // -1: none
        QTest::addColumn<QString>("payload");
        using Kind = LocalServiceControlError::Kind;
        QTest::newRow("log lines around the status")
            << "console.log('starting {broker}');\nconsole.log(JSON.stringify(Object.assign(" + statusLine
                   + ", {lastErrorSummary: process.argv[2] + ' ' + process.env.TVN_BROKER_PORT + ' ' + process.cwd()})));"
                   "\nconsole.error('noise on stderr');\nconsole.log('{\"event\":\"done\"}');"
            << "ready|status 47382 <checkout>" << -1 << "";
        QTest::newRow("non-zero exit") << "console.log(JSON.stringify(" + statusLine + ")); process.exit(3);"
                                       << "" << int(Kind::commandFailed) << "";
        QTest::newRow("killed by a signal") << QByteArray("process.kill(process.pid, 'SIGKILL');") << "" << int(Kind::commandFailed) << "";
        QTest::newRow("no status object") << QByteArray("console.log('all good');") << "" << int(Kind::invalidStatus)
                                          << "all good\n";
        QTest::newRow("invalid UTF-8") << QByteArray("process.stdout.write(Buffer.from([0x7b, 0xff, 0x7d]));") << ""
                                       << int(Kind::invalidStatus) << "";
    }
    void decodesTheChildsOutcome()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, status);
        QFETCH(int, errorKind);
        QFETCH(QString, payload);
        StandInCheckout checkout;
        QVERIFY(checkout.write(script));
        const ServiceOutcome outcome =
            finish(LocalServiceController(serviceContext(checkout.home(), checkout.prefix())).run(LocalServiceCommand::status));
        QCOMPARE(outcome.errorKind(), errorKind < 0 ? std::nullopt : std::optional(LocalServiceControlError::Kind(errorKind)));
        if (outcome.status) {
            QCOMPARE(outcome.status->status + '|' + outcome.status->lastErrorSummary.value_or(QString()),
                     QString(status).replace(QStringLiteral("<checkout>"), checkout.root.path()));
        }
        if (outcome.error)
            QCOMPARE(outcome.error->payload(), payload);
    }

    // A caller's time-out that makes no usable deadline falls back or is bounded; the command runs.
    void callersTimeOutOutOfRange_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("not a number") << std::nan("");
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
        QTest::newRow("negative") << -1.0;
        QTest::newRow("too large for milliseconds") << 1e300;
    }
    void callersTimeOutOutOfRange()
    {
        QFETCH(double, seconds);
        StandInCheckout checkout;
        QVERIFY(checkout.write("console.log(JSON.stringify(" + statusLine + "));"));
        const ServiceOutcome outcome = finish(
            LocalServiceController(serviceContext(checkout.home(), checkout.prefix())).run(LocalServiceCommand::status, seconds));
        QCOMPARE(outcome.errorKind(), std::nullopt);
        QCOMPARE(outcome.status->status, QStringLiteral("ready"));
    }

    void childThatNeverExitsIsKilled()
    {
        StandInCheckout checkout;
        const QString pidFile = checkout.root.filePath(QStringLiteral("child.pid"));
        // Ignores the polite request, so only the kill ends it.
        QVERIFY(checkout.write("import fs from 'node:fs';\nfs.writeFileSync('" + pidFile.toUtf8() + "', String(process.pid));\n"
                               "process.on('SIGTERM', () => {});\nsetInterval(() => {}, 1000);\n"));
        LocalServiceController controller(serviceContext(checkout.home(), checkout.prefix()));
        QElapsedTimer elapsed;
        elapsed.start();
        const ServiceOutcome outcome = finish(controller.run(LocalServiceCommand::stop, 1.5));
        const qint64 milliseconds = elapsed.elapsed();
        QCOMPARE(outcome.errorKind(), std::optional(LocalServiceControlError::Kind::timedOut));
        QCOMPARE(outcome.error->payload(), QStringLiteral("stop"));
        // Deadline, at most one poll, the 500 ms grace and the reaping; generous for a loaded machine.
        QVERIFY2(milliseconds >= 1500 && milliseconds < 1500 + 2000, qPrintable(QString::number(milliseconds)));
        const QStringList pid = lines(pidFile);
        QCOMPARE(pid.size(), 1);
        QVERIFY2(!processExists(pid.first().toLongLong()), "the timed-out child is still running");
    }

    void guardedRemoval_data()
    {
        QTest::addColumn<QString>("layout"); // how the state root is laid out
        QTest::addColumn<bool>("removed");
        QTest::newRow("plain directory") << "plain" << true;
        QTest::newRow("missing target is skipped") << "missing" << true;
        QTest::newRow("state root is a link elsewhere") << "symlinked-root" << false;
        QTest::newRow("component below home is a link") << "symlinked-parent" << false;
        QTest::newRow("target outside home") << "outside-home" << false;
        QTest::newRow("not an owned directory") << "not-owned" << false;
    }
    void guardedRemoval()
    {
        QFETCH(QString, layout);
        QFETCH(bool, removed);
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
        QVERIFY(writeFile(elsewhere + QStringLiteral("/precious"), "keep"));
        QString target = home + QStringLiteral("/.torvane-dev");
        QStringList owned{target};
        if (layout == QLatin1String("plain"))
            QVERIFY(writeFile(target + QStringLiteral("/state/vault.json"), "{}"));
        else if (layout == QLatin1String("symlinked-root"))
            QVERIFY(QDir().mkpath(home) && QFile::link(elsewhere, target));
        else if (layout == QLatin1String("symlinked-parent")) {
            QVERIFY(QDir().mkpath(home) && QFile::link(elsewhere, home + QStringLiteral("/Library")));
            target = home + QStringLiteral("/Library");
            owned = {target};
        } else if (layout == QLatin1String("outside-home")) {
            target = elsewhere;
            owned = {target};
        } else if (layout == QLatin1String("not-owned")) {
            QVERIFY(writeFile(target + QStringLiteral("/state/vault.json"), "{}"));
            owned = {home + QStringLiteral("/.torvane")};
        }
        bool refused = false;
        try {
            OwnedDirectoryRemoval::remove(target, owned, home);
        } catch (const LocalServiceControlError &error) {
            refused = error.kind() == LocalServiceControlError::Kind::commandFailed;
        }
        QCOMPARE(refused, !removed);
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/precious")));
        if (removed)
            QVERIFY(!QFileInfo::exists(target) && !QFileInfo(target).isSymLink());
        else
            QVERIFY(QFileInfo::exists(target) || QFileInfo(target).isSymLink());
    }

    void resetRemovesOwnedStateAndReinstalls()
    {
        StandInCheckout checkout;
        const QString journal = checkout.root.filePath(QStringLiteral("commands"));
        QVERIFY(checkout.write("import fs from 'node:fs';\nfs.appendFileSync('" + journal.toUtf8() + "', process.argv[2] + '\\n');\n"
                               "console.log(JSON.stringify(Object.assign(" + statusLine + ", {status: process.argv[2]})));\n"));
        const LocalServiceContext context = serviceContext(checkout.home(), checkout.prefix());
        const TVNRuntimeIdentity &identity = context.identity;
        for (const QString &directory : {identity.stateDirectoryPath(), identity.logDirectoryPath(), identity.serviceRootPath()})
            QVERIFY(writeFile(directory + QStringLiteral("/file"), "x"));

        const ServiceOutcome outcome = finish(LocalServiceController(context).resetLocalVaultState());
        QVERIFY(!outcome.error);
        QCOMPARE(outcome.status->status, QStringLiteral("install"));
        QCOMPARE(lines(journal), (QStringList{"uninstall", "install"}));
        for (const QString &directory : {identity.stateRootPath(), identity.logDirectoryPath(), identity.serviceRootPath()})
            QVERIFY2(!QFileInfo::exists(directory), qPrintable(directory));
    }

    void resetStopsAtALinkedStateRoot()
    {
        StandInCheckout checkout;
        const QString journal = checkout.root.filePath(QStringLiteral("commands"));
        QVERIFY(checkout.write("import fs from 'node:fs';\nfs.appendFileSync('" + journal.toUtf8() + "', process.argv[2] + '\\n');\n"
                               "console.log(JSON.stringify(" + statusLine + "));\n"));
        const LocalServiceContext context = serviceContext(checkout.home(), checkout.prefix());
        const QString elsewhere = checkout.root.filePath(QStringLiteral("elsewhere"));
        QVERIFY(writeFile(elsewhere + QStringLiteral("/precious"), "keep"));
        QVERIFY(QFile::link(elsewhere, context.identity.stateRootPath()));
        QVERIFY(writeFile(context.identity.logDirectoryPath() + QStringLiteral("/broker.log"), "x"));

        const ServiceOutcome outcome = finish(LocalServiceController(context).resetLocalVaultState());
        QCOMPARE(outcome.errorKind(), std::optional(LocalServiceControlError::Kind::commandFailed));
        QCOMPARE(lines(journal), QStringList{"uninstall"});
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/precious")));
        QVERIFY(QFile::exists(context.identity.logDirectoryPath() + QStringLiteral("/broker.log")));
    }
};

QTEST_GUILESS_MAIN(TestLocalServiceController)
#include "tst_LocalServiceController.moc"
