#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/stat.h>

// The file operations of the vault module, on plain POSIX calls so that modes, link handling and
// durability are exact. Failures throw VaultFileError.
class SecureFiles
{
public:
    // Status of the item itself (links not followed), or nothing when it cannot be inspected.
    static std::optional<struct stat> inspectItem(const QString &path);
    // Status of what the path leads to (links followed).
    static std::optional<struct stat> inspectTarget(const QString &path);
    static bool itemExists(const QString &path) { return inspectItem(path).has_value(); }

    // Creates the directory and any missing parents, each new one with `mode`; existing ones are
    // left as they are.
    static void createDirectories(const QString &path, mode_t mode);
    static void setMode(const QString &path, mode_t mode);

    // The whole content of a regular file; refuses to follow a symbolic link.
    static QByteArray readAll(const QString &path);
    // Atomic replace: a fresh temporary file beside the target (created with `mode`, synced),
    // renamed over it; the target's directory is synced afterwards.
    static void replaceAtomically(const QString &path, const QByteArray &bytes, mode_t mode);
    // Publishes the bytes at `path` only when nothing is there yet, atomically (a reader never sees
    // a partial file, and a concurrent writer never loses its file). False when the path exists.
    static bool createExclusively(const QString &path, const QByteArray &bytes, mode_t mode);
    static void removeFile(const QString &path);

private:
    static QString writeTemporarySibling(const QString &path, const QByteArray &bytes, mode_t mode);
    static void syncDirectoryOf(const QString &path);
};
