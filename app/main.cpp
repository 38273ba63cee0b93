#include "AppModel.h"
#include "FirstRunBreadcrumbs.h"
#include "MainWindow.h"
#include "SystemClipboard.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    AppModel model(AppModel::defaultDependencies(std::make_shared<SystemClipboard>()));
    QApplication::setApplicationName(model.identity().appName());
    QApplication::setDesktopFileName(model.identity().bundleIdentifier());

    // The local service keeps running after the app quits; only the user turns it off.
    QObject::connect(&app, &QApplication::aboutToQuit,
                     [] { FirstRunBreadcrumbs::record(QStringLiteral("app-exit: applicationShouldTerminate (quit)")); });

    MainWindow window(&model);
    window.show();
    return app.exec();
}
