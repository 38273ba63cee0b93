#pragma once

#include "ProcessTable.h"

#include <QList>
#include <QSet>
#include <QString>

// Reads procfs: listening sockets from net/tcp and net/tcp6, then each process's descriptors.
// Processes of other users are invisible without privileges, as on any Unix.
class ProcessTableLinux : public ProcessTable
{
public:
    explicit ProcessTableLinux(const QString &procRoot = QStringLiteral("/proc"));

    std::optional<qint32> resolveListeningPID(qint64 port) const override;

private:
    QSet<quint64> listeningSocketInodes(quint16 port) const;
    QList<qint32> processIDs() const;
    bool ownsAnySocket(qint32 pid, const QSet<quint64> &inodes) const;

    QString m_procRoot;
};
