#pragma once

#include "CodeSigningReader.h"

#include <QString>

// Linux executables carry no code signature the desktop can check: every process, this app
// included, reads as unsigned with its executable path, so broker identity is "unenforceable"
// exactly as for an unsigned build, and the loopback and health checks carry the weight.
class CodeSigningReaderLinux : public CodeSigningReader
{
public:
    explicit CodeSigningReaderLinux(const QString &procRoot = QStringLiteral("/proc"));

    std::optional<BrokerPeerSigningInfo> signingInfo(qint32 pid) const override;
    BrokerPeerSigningInfo selfSigningInfo() const override;

private:
    std::optional<BrokerPeerSigningInfo> unsignedInfo(const QString &processDirectory) const;

    QString m_procRoot;
};
