#include "SecureFiles.h"

#include "VaultFileError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }
    // Closing can report a late write error, so writers close explicitly.
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

void writeFully(int fd, const QByteArray &bytes, const QString &path)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw VaultFileError(QStringLiteral("write"), path, errno);
        written += n;
    }
}

} // namespace

std::optional<struct stat> SecureFiles::inspectItem(const QString &path)
{
    struct stat status{};
    if (::lstat(native(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

std::optional<struct stat> SecureFiles::inspectTarget(const QString &path)
{
    struct stat status{};
    if (::stat(native(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

void SecureFiles::createDirectories(const QString &path, mode_t mode)
{
    const QString cleaned = QDir::cleanPath(path);
    if (inspectTarget(cleaned))
        return;
    const QString parent = QFileInfo(cleaned).path();
    if (parent != cleaned)
        createDirectories(parent, mode);
    if (::mkdir(native(cleaned).constData(), mode) != 0 && errno != EEXIST)
        throw VaultFileError(QStringLiteral("create the directory"), cleaned, errno);
}

void SecureFiles::setMode(const QString &path, mode_t mode)
{
    if (::chmod(native(path).constData(), mode) != 0)
        throw VaultFileError(QStringLiteral("set the permissions of"), path, errno);
}

QByteArray SecureFiles::readAll(const QString &path)
{
    FileDescriptor fd(::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw VaultFileError(QStringLiteral("read"), path, errno);
    struct stat status{};
    if (::fstat(fd.get(), &status) != 0)
        throw VaultFileError(QStringLiteral("read"), path, errno);
    if (!S_ISREG(status.st_mode))
        throw VaultFileError(QStringLiteral("read"), path, EINVAL);
    QByteArray content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw VaultFileError(QStringLiteral("read"), path, errno);
        if (n == 0)
            return content;
        content.append(buffer, n);
    }
}

QString SecureFiles::writeTemporarySibling(const QString &path, const QByteArray &bytes, mode_t mode)
{
    const QFileInfo target(path);
    QByteArray pattern = native(target.dir().filePath(QLatin1Char('.') + target.fileName() + QStringLiteral(".XXXXXX")));
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0)
        throw VaultFileError(QStringLiteral("create a file beside"), path, errno);
    const QString temporary = QFile::decodeName(pattern);
    try {
        if (::fchmod(fd.get(), mode) != 0)
            throw VaultFileError(QStringLiteral("set the permissions of"), temporary, errno);
        writeFully(fd.get(), bytes, temporary);
        if (::fsync(fd.get()) != 0 || fd.close() != 0)
            throw VaultFileError(QStringLiteral("write"), temporary, errno);
    } catch (...) {
        ::unlink(pattern.constData());
        throw;
    }
    return temporary;
}

void SecureFiles::syncDirectoryOf(const QString &path)
{
    FileDescriptor fd(::open(native(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

void SecureFiles::replaceAtomically(const QString &path, const QByteArray &bytes, mode_t mode)
{
    const QString temporary = writeTemporarySibling(path, bytes, mode);
    if (::rename(native(temporary).constData(), native(path).constData()) != 0) {
        const int error = errno;
        ::unlink(native(temporary).constData());
        throw VaultFileError(QStringLiteral("replace"), path, error);
    }
    syncDirectoryOf(path);
}

bool SecureFiles::createExclusively(const QString &path, const QByteArray &bytes, mode_t mode)
{
    const QString temporary = writeTemporarySibling(path, bytes, mode);
    const int linked = ::link(native(temporary).constData(), native(path).constData());
    const int error = errno;
    ::unlink(native(temporary).constData());
    if (linked != 0 && error == EEXIST)
        return false;
    if (linked != 0)
        throw VaultFileError(QStringLiteral("create"), path, error);
    syncDirectoryOf(path);
    return true;
}

void SecureFiles::removeFile(const QString &path)
{
    if (::unlink(native(path).constData()) != 0)
        throw VaultFileError(QStringLiteral("remove"), path, errno);
}
