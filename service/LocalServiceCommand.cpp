#include "LocalServiceCommand.h"

namespace LocalServiceCommands {

QString argumentWord(LocalServiceCommand command)
{
    switch (command) {
    case LocalServiceCommand::install:
        return QStringLiteral("install");
    case LocalServiceCommand::start:
        return QStringLiteral("start");
    case LocalServiceCommand::stop:
        return QStringLiteral("stop");
    case LocalServiceCommand::status:
        return QStringLiteral("status");
    case LocalServiceCommand::open:
        return QStringLiteral("open");
    case LocalServiceCommand::uninstall:
        break;
    }
    return QStringLiteral("uninstall");
}

double defaultTimeoutSeconds(LocalServiceCommand command, const TVNEnvironment &environment)
{
    switch (command) {
    case LocalServiceCommand::install:
        return environment.serviceStartTimeoutOverride().value_or(240.0);
    case LocalServiceCommand::start:
        return environment.serviceStartTimeoutOverride().value_or(120.0);
    case LocalServiceCommand::status:
    case LocalServiceCommand::open:
        return 25.0;
    case LocalServiceCommand::stop:
    case LocalServiceCommand::uninstall:
        break;
    }
    return 30.0;
}

} // namespace LocalServiceCommands
