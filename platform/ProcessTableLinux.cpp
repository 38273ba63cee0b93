#include "ProcessTableLinux.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <unistd.h>

namespace {

constexpr int kLocalAddressField = 1;
constexpr int kStateField = 3;
constexpr int kInodeField = 9;
const QByteArray kListenState = "0A";

// Lines of net/tcp and net/tcp6: "sl local_address rem_address st ... uid timeout inode ...";
// the local address ends in ":" and the port in hexadecimal.
void collectListeningInodes(const QString &path, quint16 port, QSet<quint64> &inodes)
{
    QFile table(path);
    if (!table.open(QIODevice::ReadOnly))
        return;
    table.readLine(); // header
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() <= kInodeField || fields[kStateField] != kListenState)
            continue;
        const QByteArray &local = fields[kLocalAddressField];
        bool portOK = false;
        const uint localPort = local.mid(local.lastIndexOf(':') + 1).toUInt(&portOK, 16);
        bool inodeOK = false;
        const quint64 inode = fields[kInodeField].toULongLong(&inodeOK);
        if (portOK && inodeOK && inode != 0 && localPort == port)
            inodes.insert(inode);
    }
}

// "socket:[12345]" -> 12345
std::optional<quint64> socketInode(const QByteArray &linkTarget)
{
    static const QByteArray prefix = "socket:[";
    if (!linkTarget.startsWith(prefix) || !linkTarget.endsWith(']'))
        return std::nullopt;
    bool ok = false;
    const quint64 inode = linkTarget.mid(prefix.size(), linkTarget.size() - prefix.size() - 1).toULongLong(&ok);
    return ok ? std::optional<quint64>(inode) : std::nullopt;
}

QByteArray linkTarget(const QString &path)
{
    char buffer[256];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length > 0 ? QByteArray(buffer, length) : QByteArray();
}

} // namespace

ProcessTableLinux::ProcessTableLinux(const QString &procRoot) : m_procRoot(procRoot)
{
}

std::optional<qint32> ProcessTableLinux::resolveListeningPID(qint64 port) const
{
    if (port < 1 || port > 65535)
        return std::nullopt;
    const QSet<quint64> inodes = listeningSocketInodes(static_cast<quint16>(port));
    if (inodes.isEmpty())
        return std::nullopt;
    for (const qint32 pid : processIDs()) {
        if (ownsAnySocket(pid, inodes))
            return pid;
    }
    return std::nullopt;
}

QSet<quint64> ProcessTableLinux::listeningSocketInodes(quint16 port) const
{
    QSet<quint64> inodes;
    collectListeningInodes(m_procRoot + QStringLiteral("/net/tcp"), port, inodes);
    collectListeningInodes(m_procRoot + QStringLiteral("/net/tcp6"), port, inodes);
    return inodes;
}

QList<qint32> ProcessTableLinux::processIDs() const
{
    QList<qint32> pids;
    const QStringList entries = QDir(m_procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint32 pid = entry.toInt(&ok);
        if (ok && pid > 0)
            pids.append(pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

bool ProcessTableLinux::ownsAnySocket(qint32 pid, const QSet<quint64> &inodes) const
{
    const QString fdDirectory = m_procRoot + QLatin1Char('/') + QString::number(pid) + QStringLiteral("/fd");
    const QStringList descriptors = QDir(fdDirectory).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &descriptor : descriptors) {
        const std::optional<quint64> inode = socketInode(linkTarget(fdDirectory + QLatin1Char('/') + descriptor));
        if (inode && inodes.contains(*inode))
            return true;
    }
    return false;
}
