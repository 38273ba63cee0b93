#include "NodeInvocation.h"

#include "LocalServiceControlError.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

NodeInvocation NodeInvocation::resolve(const std::optional<QString> &resourcesDirectory, bool packagedServiceRoot)
{
    if (resourcesDirectory) {
        const QString bundled = QDir(*resourcesDirectory).filePath(QStringLiteral("bin/node"));
        if (isExecutableFile(bundled))
            return {bundled, {}};
    }
    if (packagedServiceRoot)
        throw LocalServiceControlError::missingNode();
    for (const QString &candidate : {QStringLiteral("/home/linuxbrew/.linuxbrew/bin/node"), QStringLiteral("/usr/local/bin/node")}) {
        if (isExecutableFile(candidate))
            return {candidate, {}};
    }
    const QString env = QStringLiteral("/usr/bin/env");
    if (isExecutableFile(env))
        return {env, {QStringLiteral("node")}};
    throw LocalServiceControlError::missingNode();
}
