#include "AgentHandoffConstants.h"

const QString AgentHandoffConstants::wrapperCommand = QStringLiteral("tvn-mcp-launch.sh");
const QString AgentHandoffConstants::fallbackProfile = QStringLiteral("agent-keel-tvn");
const QString AgentHandoffConstants::fallbackBrokerURL = QStringLiteral("http://127.0.0.1:47381");
const QString AgentHandoffConstants::stateKeyPathPrefix = QStringLiteral("~/.torvane/state/agent-keys");
