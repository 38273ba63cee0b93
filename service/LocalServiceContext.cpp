#include "LocalServiceContext.h"

#include "AppMetadata.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

LocalServiceContext LocalServiceContext::forCurrentApp()
{
    const AppMetadata &metadata = AppMetadata::current();
    const QString resources = metadata.resourcesDirectory();
    return LocalServiceContext{
        AppMetadata::runtimeIdentity(),
        metadata.prefixDirectory(),
        QFileInfo(resources).isDir() ? std::optional<QString>(resources) : std::nullopt,
        QCoreApplication::applicationFilePath(),
        QProcessEnvironment::systemEnvironment(),
        [] { return QSettings().value(QStringLiteral("tvn.operatorSealedEnabled"), false).toBool(); },
    };
}
