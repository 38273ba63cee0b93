#pragma once

#include "HardwareKeyProvider.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// One secret per agent profile in <stateDirectory>/agent-keys (0700): sealed to the TPM as
// "<profile>.sealed" where a TPM answers, else owner-only plaintext "<profile>.key". Before every
// read or write the directory and the file are checked (no symbolic link, owned by the real
// user, the expected type, no group or other permission bits); nothing is ever repaired.
//
// A plain value with no state of its own. Every operation blocks on files and the TPM: run it off
// the GUI thread (QtConcurrent) and await it; calls for one profile must not overlap. Failures
// throw LocalAgentProfileStoreError, SealedVaultError, HardwareKeyError, VaultFileError or
// VaultCryptoError.
class LocalAgentProfileStore
{
public:
    // A given directory is used as is; else SWITCHYARD_STATE_DIR when not empty; else
    // ~/.torvane/state.
    explicit LocalAgentProfileStore(std::optional<QString> stateDirectory = std::nullopt,
                                    std::shared_ptr<HardwareKeyProvider> provider = HardwareKeyProvider::systemDefault());

    static QString defaultStateDirectory();

    QString stateDirectory() const { return m_stateDirectory; }
    QString profileDirectory() const;

    void storeTorvane(const QString &key, const QString &profile) const;
    QString readTorvane(const QString &profile) const;
    // True when the profile has a safe key file; an unsafe one is an error, not an absence.
    bool hasTorvane(const QString &profile) const;
    // The ".sealed" file when it exists, else the ".key" file (existing or not). No checks.
    QString keyPath(const QString &profile) const;
    void deleteTorvane(const QString &profile) const;
    // The valid profile names with a sealed or plaintext file, sorted; reads names only, so the
    // per-profile checks above still decide whether each one is usable.
    QStringList profileNames() const;

    static std::optional<QString> validProfileName(const QString &profile);
    static std::optional<QString> validKeyMaterial(const QString &key);

private:
    enum class ItemType { directory, regularFile };

    QString profileFile(const QString &profile, const QString &suffix) const;
    QString requireProfile(const QString &profile) const;

    static void rejectSymlink(const QString &path);
    static void requireCurrentOwner(const QString &path);
    static void requireOwnerOnlyMode(const QString &path, ItemType type);
    static void checkItem(const QString &path, ItemType type);
    void checkDirectoryIfPresent() const;
    void ensureOwnerOnlyDirectory() const;
    static void writeOwnerOnly(const QByteArray &bytes, const QString &path);

    void storeSealed(const QString &key, const QString &profile) const;
    void storeLegacyPlaintext(const QString &key, const QString &profile) const;
    void removeLegacyPlaintextIfPresent(const QString &profile) const;
    void removeIfPresent(const QString &path) const;

    QString m_stateDirectory;
    std::shared_ptr<HardwareKeyProvider> m_provider;
};
