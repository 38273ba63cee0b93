#include "LocalAgentProfileStore.h"

#include "HardwareKeyError.h"
#include "LocalAgentProfileStoreError.h"
#include "SealedVault.h"
#include "SecureFiles.h"

#include <QDir>
#include <QRegularExpression>

#include <exception>

#include <unistd.h>

namespace {

constexpr mode_t directoryMode = 0700;
constexpr mode_t secretFileMode = 0600;
constexpr mode_t groupAndOtherBits = 0077;

const QString sealedSuffix = QStringLiteral(".sealed");
const QString plaintextSuffix = QStringLiteral(".key");
const QString resealPendingSuffix = QStringLiteral(".reseal-pending");

// Backup tools that honour cache tags (tar --exclude-caches, borg, restic) skip the directory.
const QByteArray backupExclusionTag = QByteArrayLiteral(
    "Signature: 8a477f597d28d172789f06886806bc55\n"
    "# Agent setup secrets: kept out of backups on purpose.\n");

} // namespace

LocalAgentProfileStore::LocalAgentProfileStore(std::optional<QString> stateDirectory,
                                               std::shared_ptr<HardwareKeyProvider> provider)
    : m_stateDirectory(stateDirectory ? *stateDirectory : defaultStateDirectory()), m_provider(std::move(provider))
{
}

QString LocalAgentProfileStore::defaultStateDirectory()
{
    const QString configured = qEnvironmentVariable("SWITCHYARD_STATE_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::home().filePath(QStringLiteral(".torvane/state"));
}

QString LocalAgentProfileStore::profileDirectory() const
{
    return QDir::cleanPath(QDir(m_stateDirectory).filePath(QStringLiteral("agent-keys")));
}

std::optional<QString> LocalAgentProfileStore::validProfileName(const QString &profile)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.:-]{1,64}$"));
    const QString trimmed = profile.trimmed();
    if (!pattern.match(trimmed).hasMatch())
        return std::nullopt;
    return trimmed;
}

std::optional<QString> LocalAgentProfileStore::validKeyMaterial(const QString &key)
{
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty() || std::any_of(trimmed.cbegin(), trimmed.cend(), [](QChar c) { return c.isSpace(); }))
        return std::nullopt;
    return trimmed;
}

QString LocalAgentProfileStore::requireProfile(const QString &profile) const
{
    const auto name = validProfileName(profile);
    if (!name)
        throw LocalAgentProfileStoreError::invalidAgentProfile();
    return *name;
}

QStringList LocalAgentProfileStore::profileNames() const
{
    QStringList names;
    const QDir directory(profileDirectory());
    for (const QString &file : directory.entryList({QLatin1Char('*') + sealedSuffix, QLatin1Char('*') + plaintextSuffix}, QDir::Files)) {
        const auto name = validProfileName(file.section(QLatin1Char('.'), 0, -2));
        if (name && !names.contains(*name))
            names << *name;
    }
    names.sort();
    return names;
}

QString LocalAgentProfileStore::profileFile(const QString &profile, const QString &suffix) const
{
    return profileDirectory() + QLatin1Char('/') + profile + suffix;
}

void LocalAgentProfileStore::rejectSymlink(const QString &path)
{
    const auto status = SecureFiles::inspectItem(path);
    if (!status)
        throw LocalAgentProfileStoreError::unavailable(path);
    if (S_ISLNK(status->st_mode))
        throw LocalAgentProfileStoreError::rejectedStorage(path + QStringLiteral(" must not be a symlink"));
}

void LocalAgentProfileStore::requireCurrentOwner(const QString &path)
{
    const auto status = SecureFiles::inspectTarget(path);
    if (!status)
        throw LocalAgentProfileStoreError::unavailable(path);
    if (status->st_uid != ::getuid())
        throw LocalAgentProfileStoreError::rejectedStorage(path + QStringLiteral(" is not owned by the current user"));
}

void LocalAgentProfileStore::requireOwnerOnlyMode(const QString &path, ItemType type)
{
    const auto status = SecureFiles::inspectTarget(path);
    if (!status)
        throw LocalAgentProfileStoreError::unavailable(path);
    const bool typeMatches = type == ItemType::directory ? S_ISDIR(status->st_mode) : S_ISREG(status->st_mode);
    if (!typeMatches)
        throw LocalAgentProfileStoreError::rejectedStorage(path + QStringLiteral(" has the wrong file type"));
    if (status->st_mode & groupAndOtherBits)
        throw LocalAgentProfileStoreError::rejectedStorage(path + QStringLiteral(" must be owner-only"));
}

void LocalAgentProfileStore::checkItem(const QString &path, ItemType type)
{
    rejectSymlink(path);
    requireCurrentOwner(path);
    requireOwnerOnlyMode(path, type);
}

// Every operation but keyPath refuses an unsafe directory, even when the profile has no files.
void LocalAgentProfileStore::checkDirectoryIfPresent() const
{
    if (SecureFiles::itemExists(profileDirectory()))
        checkItem(profileDirectory(), ItemType::directory);
}

void LocalAgentProfileStore::ensureOwnerOnlyDirectory() const
{
    const QString directory = profileDirectory();
    if (SecureFiles::itemExists(directory)) {
        checkItem(directory, ItemType::directory);
    } else {
        SecureFiles::createDirectories(directory, directoryMode);
        SecureFiles::setMode(directory, directoryMode);
        requireCurrentOwner(directory);
        requireOwnerOnlyMode(directory, ItemType::directory);
    }
    try {
        const QString tag = directory + QStringLiteral("/CACHEDIR.TAG");
        if (!SecureFiles::itemExists(tag))
            SecureFiles::createExclusively(tag, backupExclusionTag, secretFileMode);
    } catch (const std::exception &) {
        // Best effort: the store works the same without the tag.
    }
}

void LocalAgentProfileStore::writeOwnerOnly(const QByteArray &bytes, const QString &path)
{
    SecureFiles::replaceAtomically(path, bytes, secretFileMode);
    SecureFiles::setMode(path, secretFileMode);
}

void LocalAgentProfileStore::storeTorvane(const QString &key, const QString &profile) const
{
    const QString name = requireProfile(profile);
    const auto material = validKeyMaterial(key);
    if (!material)
        throw LocalAgentProfileStoreError::invalidKeyMaterial();
    ensureOwnerOnlyDirectory();
    const HardwareKeyAvailability availability = m_provider->availability();
    // A TPM this user may not open is a problem to fix, not a reason to store plaintext.
    if (availability.state == HardwareKeyAvailability::State::inaccessible && availability.reason)
        availability.reason->raise();
    if (availability.isAvailable())
        storeSealed(*material, name);
    else
        storeLegacyPlaintext(*material, name);
}

void LocalAgentProfileStore::storeSealed(const QString &key, const QString &profile) const
{
    const SealedVault vault(m_stateDirectory, SealedVault::Configuration::agentKeys(), m_provider);
    const QString file = profileFile(profile, sealedSuffix);
    const QByteArray keyBytes = key.toUtf8();
    if (SecureFiles::itemExists(file)) {
        checkItem(file, ItemType::regularFile);
        bool unchanged = false;
        try {
            unchanged = vault.open(SecureFiles::readAll(file)) == keyBytes;
        } catch (const std::exception &) {
            // A stale or unreadable envelope is replaced below.
        }
        if (unchanged) {
            removeLegacyPlaintextIfPresent(profile);
            return;
        }
    }
    writeOwnerOnly(vault.seal(keyBytes), file);
    checkItem(file, ItemType::regularFile);
    if (vault.open(SecureFiles::readAll(file)) != keyBytes) {
        try {
            SecureFiles::removeFile(file);
        } catch (const std::exception &) {
        }
        throw LocalAgentProfileStoreError::rejectedStorage(
            QStringLiteral("sealed agent key did not round-trip; left the existing setup untouched"));
    }
    removeLegacyPlaintextIfPresent(profile);
}

void LocalAgentProfileStore::storeLegacyPlaintext(const QString &key, const QString &profile) const
{
    const QString file = profileFile(profile, plaintextSuffix);
    if (SecureFiles::itemExists(file)) {
        checkItem(file, ItemType::regularFile);
        bool unchanged = false;
        try {
            unchanged = QString::fromUtf8(SecureFiles::readAll(file)).trimmed() == key;
        } catch (const std::exception &) {
        }
        if (unchanged)
            return;
    }
    writeOwnerOnly(key.toUtf8(), file);
    requireCurrentOwner(file);
    requireOwnerOnlyMode(file, ItemType::regularFile);
    // Reads prefer a sealed file: one left from before the TPM went away would shadow the key
    // just stored and hand out the old one.
    removeIfPresent(profileFile(profile, sealedSuffix));
}

void LocalAgentProfileStore::removeIfPresent(const QString &path) const
{
    if (!SecureFiles::itemExists(path))
        return;
    rejectSymlink(path);
    SecureFiles::removeFile(path);
}

void LocalAgentProfileStore::removeLegacyPlaintextIfPresent(const QString &profile) const
{
    removeIfPresent(profileFile(profile, plaintextSuffix));
    removeIfPresent(profileFile(profile, resealPendingSuffix));
}

QString LocalAgentProfileStore::readTorvane(const QString &profile) const
{
    const QString name = requireProfile(profile);
    checkDirectoryIfPresent();
    const QString sealed = profileFile(name, sealedSuffix);
    const QString plaintext = profileFile(name, plaintextSuffix);
    QString text;
    if (SecureFiles::itemExists(sealed)) {
        checkItem(sealed, ItemType::regularFile);
        const SealedVault vault(m_stateDirectory, SealedVault::Configuration::agentKeys(), m_provider);
        text = QString::fromUtf8(vault.open(SecureFiles::readAll(sealed)));
    } else if (SecureFiles::itemExists(plaintext)) {
        checkItem(plaintext, ItemType::regularFile);
        text = QString::fromUtf8(SecureFiles::readAll(plaintext));
    } else {
        throw LocalAgentProfileStoreError::unavailable(plaintext);
    }
    const auto material = validKeyMaterial(text);
    if (!material)
        throw LocalAgentProfileStoreError::invalidKeyMaterial();
    return *material;
}

bool LocalAgentProfileStore::hasTorvane(const QString &profile) const
{
    const QString name = requireProfile(profile);
    checkDirectoryIfPresent();
    const QString sealed = profileFile(name, sealedSuffix);
    const QString plaintext = profileFile(name, plaintextSuffix);
    const QString picked = SecureFiles::itemExists(sealed) ? sealed : plaintext;
    if (!SecureFiles::itemExists(picked))
        return false;
    checkItem(picked, ItemType::regularFile);
    return true;
}

QString LocalAgentProfileStore::keyPath(const QString &profile) const
{
    const QString name = requireProfile(profile);
    const QString sealed = profileFile(name, sealedSuffix);
    return SecureFiles::itemExists(sealed) ? sealed : profileFile(name, plaintextSuffix);
}

void LocalAgentProfileStore::deleteTorvane(const QString &profile) const
{
    const QString name = requireProfile(profile);
    checkDirectoryIfPresent();
    for (const QString &suffix : {sealedSuffix, plaintextSuffix, resealPendingSuffix})
        removeIfPresent(profileFile(name, suffix));
}
