#include "AppMetadata.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const AppMetadata &metadata = AppMetadata::current();
    const TVNRuntimeIdentity &identity = AppMetadata::runtimeIdentity();
    QMainWindow window;
    window.setWindowTitle(identity.appName());
    window.setCentralWidget(new QLabel(QStringLiteral("%1 — %2 lane, broker %3")
                                           .arg(metadata.versionLine(), TVNRuntimeLanes::rawValue(identity.lane()),
                                                identity.brokerURLString())));
    window.resize(1100, 760);
    window.show();
    return app.exec();
}
