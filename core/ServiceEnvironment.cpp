#include "ServiceEnvironment.h"

#include "TVNEnvironment.h"

#include <QDir>
#include <QFileInfo>

namespace {

void setAll(QProcessEnvironment &environment, std::initializer_list<const char *> names, const QString &value)
{
    for (const char *name : names)
        environment.insert(QLatin1String(name), value);
}

void applyDevelopmentLane(QProcessEnvironment &environment)
{
    // Release-only switches must never leak into the isolated development service.
    for (const char *name : {"SWITCHYARD_OPERATOR_BOOTSTRAP", "SWITCHYARD_OPERATOR_SEALED",
                             "SWITCHYARD_ENABLE_KEYCHAIN_TRUST_ROUTES", "SWITCHYARD_BOUND_PROFILE_SIGNER_PATH",
                             "SWITCHYARD_BOUND_PROFILE_PUBLIC_KEY_PEM", "TVN_ALLOW_LEGACY_BEARER_PROFILE_MINT"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TVN_SKIP_SERVICE_BUILD"), QStringLiteral("0"));
    setAll(environment, {"SWITCHYARD_BUILD_ID", "SWITCHYARD_BUILD_CHANNEL"}, QStringLiteral("development"));
}

// A production service talks to the real providers only: a stored credential must never follow
// a variable left in the app's environment to a stand-in.
void removeProviderRedirects(QProcessEnvironment &environment)
{
    for (const QString &name : environment.keys()) {
        if (name.startsWith(QLatin1StringView("TVN_PROVIDER_BASE_URL_")))
            environment.remove(name);
    }
}

void applyIdentity(QProcessEnvironment &environment, const TVNRuntimeIdentity &identity)
{
    const QString port = QString::number(identity.brokerPort());
    environment.insert(QStringLiteral("TVN_RUNTIME_LANE"), TVNRuntimeLanes::rawValue(identity.lane()));
    environment.insert(QStringLiteral("TVN_SERVICE_LABEL"), identity.serviceLabel());
    environment.insert(QStringLiteral("TVN_APP_BUNDLE_ID"), identity.bundleIdentifier());
    environment.insert(QStringLiteral("TVN_BROKER_PORT"), port);
    environment.insert(QStringLiteral("TVN_BROKER_URL"), identity.brokerURLString());
    environment.insert(QStringLiteral("PORT"), port);
    environment.insert(QStringLiteral("SWITCHYARD_STATE_DIR"), identity.stateDirectoryPath());
    environment.insert(QStringLiteral("TVN_PROFILE_STORE_DIR"), identity.profileStorePath());
    environment.insert(QStringLiteral("TVN_LOG_DIR"), identity.logDirectoryPath());
    environment.insert(QStringLiteral("TVN_APPLICATION_SUPPORT_ROOT"), identity.applicationSupportRootPath());
    environment.insert(QStringLiteral("SWITCHYARD_BIND_MODE"), QStringLiteral("loopback"));
    environment.insert(QStringLiteral("SWITCHYARD_BIND_HOST"), QStringLiteral("127.0.0.1"));
}

void applyFileKeychainMode(QProcessEnvironment &environment)
{
    setAll(environment, {"SWITCHYARD_KEYCHAIN_MODE", "SWITCHYARD_OPERATOR_BOOTSTRAP_MODE"}, QStringLiteral("file"));
    setAll(environment, {"TVN_PRESERVE_LEGACY_KEYCHAIN", "TVN_ENABLE_LEGACY_KEYCHAIN", "SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI"},
           QStringLiteral("0"));
}

std::optional<QString> bundledSigner(const std::optional<QString> &resourcesDirectory)
{
    if (!resourcesDirectory)
        return std::nullopt;
    const QFileInfo signer(QDir(*resourcesDirectory).filePath(QStringLiteral("bin/tvn-pop-signer")));
    if (!signer.isFile() || !signer.isExecutable())
        return std::nullopt;
    return signer.absoluteFilePath();
}

} // namespace

QProcessEnvironment ServiceEnvironment::build(const TVNRuntimeIdentity &identity, const QProcessEnvironment &inherited,
                                              const Context &context)
{
    const bool production = identity.lane() == TVNRuntimeLane::production;
    QProcessEnvironment environment = inherited;
    if (production)
        removeProviderRedirects(environment);
    else
        applyDevelopmentLane(environment);
    if (production && context.packagedServiceRoot)
        environment.insert(QStringLiteral("TVN_SKIP_SERVICE_BUILD"), QStringLiteral("1"));
    applyIdentity(environment, identity);
    if (!TVNEnvironment(inherited).legacyKeychainMode(identity.lane()))
        applyFileKeychainMode(environment);
    if (production && context.operatorSealedEnabled)
        environment.insert(QStringLiteral("SWITCHYARD_OPERATOR_SEALED"), QStringLiteral("1"));
    environment.insert(QStringLiteral("SWITCHYARD_TRUSTED_APP_PATHS"), context.trustedAppPaths);
    const QString signerVariable = QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH");
    if (!environment.contains(signerVariable)) {
        if (const std::optional<QString> signer = bundledSigner(context.resourcesDirectory))
            environment.insert(signerVariable, *signer);
    }
    environment.insert(QStringLiteral("PATH"),
                       searchPath(context.resourcesDirectory, inherited.value(QStringLiteral("PATH"))));
    return environment;
}

QString ServiceEnvironment::searchPath(const std::optional<QString> &resourcesDirectory, const QString &inheritedPath)
{
    const QStringList members{
        resourcesDirectory ? QDir(*resourcesDirectory).filePath(QStringLiteral("bin")) : QString(),
        QStringLiteral("/home/linuxbrew/.linuxbrew/bin"),
        QStringLiteral("/usr/local/bin"),
        inheritedPath,
        QStringLiteral("/usr/bin:/bin"),
    };
    QStringList present;
    for (const QString &member : members) {
        if (!member.isEmpty())
            present.append(member);
    }
    return present.join(QLatin1Char(':'));
}
