#include "AppModel.h"
#include "AutomationChannel.h"
#include "FirstRunBreadcrumbs.h"
#include "MainWindow.h"
#include "SystemClipboard.h"

#include <QApplication>
#include <QCommandLineParser>

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
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption automationSocket(QStringLiteral("automation-socket"),
                                              QStringLiteral("Listen for test automation on a local socket (development lane)."),
                                              QStringLiteral("path"));
    parser.addOption(automationSocket);
    parser.addHelpOption();
    parser.process(app);

    AppModel model(AppModel::defaultDependencies(std::make_shared<SystemClipboard>()));
    QApplication::setApplicationName(model.identity().appName());
    QApplication::setDesktopFileName(model.identity().bundleIdentifier());

    std::unique_ptr<AutomationChannel> automation;
    if (parser.isSet(automationSocket)) {
        automation = openAutomationChannel(model, parser.value(automationSocket));
        if (!automation)
            return 2;
    }

    // The local service keeps running after the app quits; only the user turns it off.
    QObject::connect(&app, &QApplication::aboutToQuit,
                     [] { FirstRunBreadcrumbs::record(QStringLiteral("app-exit: applicationShouldTerminate (quit)")); });

    MainWindow window(&model);
    if (automation)
        automation->setWindow(&window);
    window.show();
    return app.exec();
}
