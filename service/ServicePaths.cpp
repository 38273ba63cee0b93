#include "ServicePaths.h"

#include <QDir>
#include <QFile>

namespace ServicePaths {

QString standardized(const QString &path)
{
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

std::filesystem::path toFilesystemPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace ServicePaths
