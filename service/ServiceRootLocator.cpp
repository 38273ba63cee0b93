#include "ServiceRootLocator.h"

#include "LocalServiceControlError.h"
#include "ServicePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

using ServicePaths::standardized;
using ServicePaths::toFilesystemPath;

namespace {

const QString controlScript = QStringLiteral("scripts/local-service.mjs");
constexpr int checkoutSearchLevels = 8;

bool isReadableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

std::optional<QByteArray> contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

ServiceRootLocator::ServiceRootLocator(const LocalServiceContext &context)
    : m_context(context)
{
}

bool ServiceRootLocator::holdsControlScript(const QString &directory)
{
    return isReadableFile(QDir(directory).filePath(controlScript));
}

std::optional<QString> ServiceRootLocator::inBundleServiceDirectory() const
{
    if (!m_context.resourcesDirectory)
        return std::nullopt;
    const QString directory = standardized(QDir(*m_context.resourcesDirectory).filePath(QStringLiteral("Service")));
    return holdsControlScript(directory) ? std::optional<QString>(directory) : std::nullopt;
}

std::optional<QString> ServiceRootLocator::developmentCheckoutRoot() const
{
    if (inBundleServiceDirectory())
        return std::nullopt;
    QDir directory(standardized(m_context.prefixDirectory));
    for (int level = 0; level <= checkoutSearchLevels; ++level) {
        if (holdsControlScript(directory.path()) && isReadableFile(directory.filePath(QStringLiteral("package.json"))))
            return directory.path();
        if (!directory.cdUp())
            break;
    }
    return std::nullopt;
}

std::optional<QString> ServiceRootLocator::installedCopy() const
{
    const QString directory = standardized(m_context.identity.serviceRootPath());
    return holdsControlScript(directory) ? std::optional<QString>(directory) : std::nullopt;
}

QStringList ServiceRootLocator::repositoryCandidates() const
{
    const QDir home(m_context.identity.homeDirectoryPath());
    QStringList candidates;
    if (const std::optional<QString> root = TVNEnvironment(m_context.environment).serviceRootOverride())
        candidates.append(*root);
    for (const char *relative : {"Code/torvane", "Code/switchyard", "Torvane/switchyard", "Documents/switchyard",
                                 "Documents/Torvane/switchyard"})
        candidates.append(home.filePath(QLatin1String(relative)));
    candidates.append(standardized(m_context.prefixDirectory + QStringLiteral("/../../../..")));
    return candidates;
}

std::optional<QString> ServiceRootLocator::resolvedServiceRoot() const
{
    for (const std::optional<QString> &found : {developmentCheckoutRoot(), installedCopy(), inBundleServiceDirectory()}) {
        if (found)
            return found;
    }
    for (const QString &candidate : repositoryCandidates()) {
        if (holdsControlScript(candidate))
            return standardized(candidate);
    }
    return std::nullopt;
}

bool ServiceRootLocator::isPackagedServiceRoot(const QString &directory) const
{
    const QString path = standardized(directory);
    if (path == standardized(m_context.identity.serviceRootPath()))
        return true;
    const std::optional<QString> inBundle = m_context.resourcesDirectory
        ? std::optional<QString>(standardized(QDir(*m_context.resourcesDirectory).filePath(QStringLiteral("Service"))))
        : std::nullopt;
    return inBundle == path;
}

QString ServiceRootLocator::prepare(LocalServiceCommand command) const
{
    if (const std::optional<QString> checkout = developmentCheckoutRoot())
        return *checkout;
    const std::optional<QString> inBundle = inBundleServiceDirectory();
    if (!inBundle) {
        if (const std::optional<QString> root = resolvedServiceRoot())
            return *root;
        throw LocalServiceControlError::missingServiceBundle();
    }
    // Stopping must work even when the shipped copy changed: never refresh for it.
    if (command == LocalServiceCommand::stop || command == LocalServiceCommand::uninstall)
        return installedCopy().value_or(*inBundle);
    if (!installedCopy() || !installedCopyIsCurrent(*inBundle))
        replaceInstalledCopy(*inBundle);
    return standardized(m_context.identity.serviceRootPath());
}

bool ServiceRootLocator::installedCopyIsCurrent(const QString &inBundle) const
{
    const QDir shipped(inBundle);
    const QDir installed(m_context.identity.serviceRootPath());
    for (const QString &name : {QStringLiteral("tvn-build.json"), QStringLiteral("package.json"), controlScript}) {
        const std::optional<QByteArray> shippedBytes = contents(shipped.filePath(name));
        const std::optional<QByteArray> installedBytes = contents(installed.filePath(name));
        if (!shippedBytes || !installedBytes || *shippedBytes != *installedBytes)
            return false;
    }
    return true;
}

void ServiceRootLocator::replaceInstalledCopy(const QString &inBundle) const
{
    namespace fs = std::filesystem;
    const QFileInfo installed(standardized(m_context.identity.serviceRootPath()));
    const fs::path target = toFilesystemPath(installed.filePath());
    // Copied beside the target first: a copy that fails halfway must never be taken for current
    // on the next launch, and the previous copy stays usable meanwhile.
    const fs::path incoming = toFilesystemPath(installed.dir().filePath(
        QStringLiteral(".%1.incoming-%2").arg(installed.fileName()).arg(QCoreApplication::applicationPid())));
    try {
        fs::create_directories(target.parent_path());
        fs::remove_all(incoming);
        fs::copy(toFilesystemPath(inBundle), incoming, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        // remove_all never follows symbolic links: a link in place of the copy goes, its target stays.
        fs::remove_all(target);
        fs::rename(incoming, target);
    } catch (const fs::filesystem_error &error) {
        std::error_code ignored;
        fs::remove_all(incoming, ignored);
        throw LocalServiceControlError::fileOperationFailed(QString::fromLocal8Bit(error.what()));
    }
}
