#pragma once

#include <QString>

// How an agent app keeps its MCP servers, which decides the shape of Torvane's entry and of its
// paste-in snippet.
enum class AgentClientFormat {
    jsonMcpServers,
    jsonVscode,
    tomlCodex,
    yamlMcpServers,
    jsonOpenclaw,
    manualMcpServers,
};

namespace AgentClientFormats {

QString rawValue(AgentClientFormat format);

} // namespace AgentClientFormats
