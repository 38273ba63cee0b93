#pragma once

#include "TVNRuntimeIdentity.h"

#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <optional>

// Everything the controller takes from the running app. Tests build one around a temporary
// home, their own resources directory and their own environment.
struct LocalServiceContext {
    TVNRuntimeIdentity identity;
    // The install prefix: parent of the executable's directory.
    QString prefixDirectory;
    // <prefix>/share/torvane, when it exists.
    std::optional<QString> resourcesDirectory;
    QString executablePath;
    // The app's own environment, which the service inherits.
    QProcessEnvironment environment;
    // The user default "tvn.operatorSealedEnabled"; read on the caller's thread.
    std::function<bool()> operatorSealedEnabled;

    // The running app: AppMetadata's identity and prefix, the process environment, QSettings.
    static LocalServiceContext forCurrentApp();
};
