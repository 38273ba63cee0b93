#pragma once

#include <BrokerPeerSigningInfo.h>

#include <QtGlobal>

#include <optional>

// Code-signature facts of a running process and of this app.
class CodeSigningReader
{
public:
    virtual ~CodeSigningReader() = default;

    // None when the process cannot be found.
    virtual std::optional<BrokerPeerSigningInfo> signingInfo(qint32 pid) const = 0;
    virtual BrokerPeerSigningInfo selfSigningInfo() const = 0;
};
