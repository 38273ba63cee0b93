#pragma once

#include "TVNRuntimeIdentity.h"

#include <QProcessEnvironment>
#include <QString>

#include <optional>

// The environment a service command runs with: the app's own environment, changed so the
// service sees exactly this identity's lane, port, paths and keychain mode.
class ServiceEnvironment
{
public:
    struct Context {
        // <prefix>/share/torvane, when the app has one.
        std::optional<QString> resourcesDirectory;
        // The service directory is the installed or the in-app copy, not a checkout.
        bool packagedServiceRoot = false;
        // The user default "tvn.operatorSealedEnabled".
        bool operatorSealedEnabled = false;
        // Comma-separated; may be empty.
        QString trustedAppPaths;
    };

    static QProcessEnvironment build(const TVNRuntimeIdentity &identity, const QProcessEnvironment &inherited,
                                     const Context &context);

    // Bundled tools first, then the usual Node locations, the inherited PATH and the system.
    static QString searchPath(const std::optional<QString> &resourcesDirectory, const QString &inheritedPath);
};
