#pragma once

#include <QtGlobal>

#include <optional>

// The operating system's process table, as far as broker identity needs it.
class ProcessTable
{
public:
    virtual ~ProcessTable() = default;

    // A process with a TCP socket listening on `port` (the first one found); none for a port
    // outside 1..65535 or when no visible process owns such a socket. May take tens of
    // milliseconds: call it off the GUI thread.
    virtual std::optional<qint32> resolveListeningPID(qint64 port) const = 0;
};
