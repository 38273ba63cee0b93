#include "OwnedDirectoryRemoval.h"

#include "LocalServiceControlError.h"
#include "ServicePaths.h"

#include <QDir>
#include <QFile>

#include <filesystem>

namespace fs = std::filesystem;

using ServicePaths::standardized;
using ServicePaths::toFilesystemPath;

namespace {

QString linksResolved(const QString &path)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(toFilesystemPath(path), error);
    return error ? QString() : QDir::cleanPath(QFile::decodeName(resolved.c_str()));
}

bool isSymlink(const QString &path)
{
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(toFilesystemPath(path), error));
}

} // namespace

bool OwnedDirectoryRemoval::isConfined(const QString &target, const QStringList &ownedDirectories,
                                       const QString &homeDirectory)
{
    const QString path = standardized(target);
    const bool owned = std::any_of(ownedDirectories.cbegin(), ownedDirectories.cend(),
                                   [&](const QString &directory) { return standardized(directory) == path; });
    if (!owned || linksResolved(path) != path)
        return false;
    const QString home = standardized(homeDirectory);
    const QString homePrefix = home + QLatin1Char('/');
    if (!path.startsWith(homePrefix))
        return false;
    QString component = home;
    for (const QString &name : path.mid(homePrefix.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        component += QLatin1Char('/') + name;
        if (isSymlink(component))
            return false;
    }
    return true;
}

void OwnedDirectoryRemoval::remove(const QString &target, const QStringList &ownedDirectories, const QString &homeDirectory)
{
    if (!isConfined(target, ownedDirectories, homeDirectory))
        throw LocalServiceControlError::commandFailed();
    const fs::path path = toFilesystemPath(standardized(target));
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error)))
        return;
    fs::remove_all(path, error);
    if (error)
        throw LocalServiceControlError::fileOperationFailed(
            QStringLiteral("Could not remove %1: %2").arg(standardized(target), QString::fromStdString(error.message())));
}
