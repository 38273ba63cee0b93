#include "OperatorBootstrapFiles.h"

#include "SealedVault.h"
#include "SecureFiles.h"

#include <QDir>
#include <QFileInfo>

namespace OperatorBootstrapFiles {

namespace {
std::optional<QString> trimmedText(const QByteArray &bytes)
{
    // Invalid sequences read as replacement characters, as the broker never writes them.
    const QString text = QString::fromUtf8(bytes).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}
} // namespace

QString localPath(const QString &stateDirectory)
{
    return QDir(stateDirectory).filePath(QLatin1StringView(localFileName));
}

QString sealedPath(const QString &stateDirectory)
{
    return QDir(stateDirectory).filePath(QLatin1StringView(sealedFileName));
}

std::optional<QString> readLocal(const QString &stateDirectory)
{
    const QFileInfo file(localPath(stateDirectory));
    if (!file.isFile() || !file.isReadable())
        return std::nullopt;
    return trimmedText(SecureFiles::readAll(file.filePath()));
}

AuthenticationContext unlockContext()
{
    AuthenticationContext context;
    context.setFallbackTitle(QStringLiteral("Use Password…"));
    context.setReuseWindowSeconds(10);
    return context;
}

std::optional<QString> openSealed(const QString &stateDirectory, OwnerAuthentication &owner,
                                  std::shared_ptr<HardwareKeyProvider> provider, const QString &reason)
{
    const QByteArray envelope = SecureFiles::readAll(sealedPath(stateDirectory));
    AuthenticationContext context = unlockContext();
    owner.evaluateOwner(context, reason);
    const SealedVault vault(stateDirectory, SealedVault::Configuration::operatorBootstrap(), std::move(provider));
    return trimmedText(vault.open(envelope, &context));
}

void writeSealed(const QString &stateDirectory, const QString &secret, std::shared_ptr<HardwareKeyProvider> provider)
{
    const SealedVault vault(stateDirectory, SealedVault::Configuration::operatorBootstrap(), std::move(provider));
    SecureFiles::replaceAtomically(sealedPath(stateDirectory), vault.seal(secret.toUtf8()), 0600);
}

void removeIfPresent(const QString &path)
{
    if (SecureFiles::itemExists(path))
        SecureFiles::removeFile(path);
}

} // namespace OperatorBootstrapFiles
