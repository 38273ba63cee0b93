#pragma once

#include <QtGlobal>

// A blocking TCP connect to 127.0.0.1: the port is listening when the connect succeeds.
// Call it off the GUI thread.
namespace LoopbackPortProbe {

bool isListening(qint64 port);

} // namespace LoopbackPortProbe
