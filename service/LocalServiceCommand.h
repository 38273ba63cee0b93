#pragma once

#include "TVNEnvironment.h"

#include <QString>

// The control script's operations; the argument word is passed to the script verbatim.
enum class LocalServiceCommand {
    install,
    start,
    stop,
    status,
    open,
    uninstall,
};

namespace LocalServiceCommands {

QString argumentWord(LocalServiceCommand command);
// install 240 s and start 120 s unless "TVN_SERVICE_START_TIMEOUT_SECONDS" overrides both;
// stop and uninstall 30 s, status and open 25 s.
double defaultTimeoutSeconds(LocalServiceCommand command, const TVNEnvironment &environment);

} // namespace LocalServiceCommands
