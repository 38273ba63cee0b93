#include "CodeSigningReaderLinux.h"

#include <QFileInfo>

CodeSigningReaderLinux::CodeSigningReaderLinux(const QString &procRoot) : m_procRoot(procRoot)
{
}

std::optional<BrokerPeerSigningInfo> CodeSigningReaderLinux::unsignedInfo(const QString &processDirectory) const
{
    const QFileInfo directory(processDirectory);
    if (!directory.isDir())
        return std::nullopt;
    BrokerPeerSigningInfo info;
    const QString executable = QFileInfo(processDirectory + QStringLiteral("/exe")).symLinkTarget();
    if (!executable.isEmpty())
        info.executablePath = executable;
    return info;
}

std::optional<BrokerPeerSigningInfo> CodeSigningReaderLinux::signingInfo(qint32 pid) const
{
    if (pid <= 0)
        return std::nullopt;
    return unsignedInfo(m_procRoot + QLatin1Char('/') + QString::number(pid));
}

BrokerPeerSigningInfo CodeSigningReaderLinux::selfSigningInfo() const
{
    return unsignedInfo(m_procRoot + QStringLiteral("/self")).value_or(BrokerPeerSigningInfo{});
}
