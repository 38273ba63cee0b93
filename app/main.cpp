#include "AppMetadata.h"
#include "AppModel.h"
#include "AppPalette.h"
#include "AutomationChannel.h"
#include "CrashReportScan.h"
#include "DoctorCommand.h"
#include "FatalSignalHandler.h"
#include "FirstRunBreadcrumbs.h"
#include "SingleInstance.h"
#include "SystemClipboard.h"
#include "TorvaneAppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoroTask>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QSysInfo>

#include <cstdio>

namespace {
// The automation channel drives the app without a person: never in the production lane.
std::unique_ptr<AutomationChannel> openAutomationChannel(AppModel &model, const QString &path)
{
    if (model.identity().lane() != TVNRuntimeLane::development) {
        std::fputs("The automation channel is only available in the development lane.\n", stderr);
        return nullptr;
    }
    auto channel = std::make_unique<AutomationChannel>(&model);
    QString error;
    if (!channel->listen(path, &error)) {
        std::fprintf(stderr, "Could not open the automation channel: %s\n", qPrintable(error));
        return nullptr;
    }
    return channel;
}

void installCrashReports(const TVNRuntimeIdentity &identity, const AppMetadata &metadata)
{
    QString fileNamePrefix = identity.appName();
    fileNamePrefix.remove(QLatin1Char(' '));
    const FatalSignalHandler::ReportIdentity report{
        CrashReportScan::reportsDirectory(identity.homeDirectoryPath()),
        fileNamePrefix,
        identity.appName(),
        identity.bundleIdentifier(),
        metadata.shortVersion(),
        metadata.bundleVersion(),
        QSysInfo::prettyProductName() + QStringLiteral(" (Linux ") + QSysInfo::kernelVersion() + QLatin1Char(')'),
        QStringLiteral("torvane"),
    };
    if (!FatalSignalHandler::install(report))
        std::fputs("Crash reports are off: the reports folder could not be made.\n", stderr);
}
// "torvane doctor [--json]": a report for users and support; needs no display and prompts for nothing.
int runDoctor(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks this installation without changing it: identity and lane, the local service and its broker, the vault "
        "and operator sessions, the TPM and PAM, agent apps with a tvn entry and every local agent profile's handoff. "
        "No secret is shown. "
        "Exits 0 only when the service runs and is verified, the vault is unlocked and every profile's handoff "
        "verifies; a missing TPM, PAM or agent app entry is reported as a note."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the report as one JSON object."));
    parser.addOption(json);
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("doctor"), QStringLiteral("The doctor command."));
    parser.process(app);

    AppModel model(AppModel::defaultDependencies(std::make_shared<SystemClipboard>()));
    DoctorCommand doctor(model);
    QCoro::waitFor(doctor.run());
    const QByteArray report = parser.isSet(json) ? QJsonDocument(doctor.json()).toJson() : doctor.text().toUtf8();
    std::fwrite(report.constData(), 1, size_t(report.size()), stdout);
    return doctor.healthy() ? 0 : 1;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "doctor") == 0)
        return runDoctor(argc, argv);
    // The embedded dashboard's web engine shares its graphics contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption automationSocket(QStringLiteral("automation-socket"),
                                              QStringLiteral("Listen for test automation on a local socket (development lane)."),
                                              QStringLiteral("path"));
    parser.addOption(automationSocket);
    parser.addHelpOption();
    parser.process(app);

    const TVNRuntimeIdentity &identity = AppMetadata::runtimeIdentity();
    QApplication::setApplicationName(identity.appName());
    QApplication::setDesktopFileName(identity.bundleIdentifier());
    installCrashReports(identity, AppMetadata::current());

    // Before anything else opens: a second copy (automation socket or not) only wakes the first.
    SingleInstance instance(identity.bundleIdentifier());
    if (instance.deferToRunningInstance()) {
        FirstRunBreadcrumbs::record(QStringLiteral("app-exit: single-instance-defer (another instance already running)"));
        UserDefaults().flush();
        return 0;
    }

    AppPalette::apply(app);
    AppModel model(AppModel::defaultDependencies(std::make_shared<SystemClipboard>()));

    std::unique_ptr<AutomationChannel> automation;
    if (parser.isSet(automationSocket)) {
        automation = openAutomationChannel(model, parser.value(automationSocket));
        if (!automation)
            return 2;
    }

    // The local service keeps running after the app quits; only the user turns it off.
    QObject::connect(&app, &QApplication::aboutToQuit,
                     [] { FirstRunBreadcrumbs::record(QStringLiteral("app-exit: applicationShouldTerminate (quit)")); });

    TorvaneAppDelegate delegate(model, instance);
    delegate.startApplicationIfNeeded();
    if (automation)
        automation->setShell(&delegate);
    return app.exec();
}
