#include "AgentClientFormat.h"

#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<AgentClientFormat, const char *>, 6> names{{
    {AgentClientFormat::jsonMcpServers, "jsonMcpServers"},
    {AgentClientFormat::jsonVscode, "jsonVscode"},
    {AgentClientFormat::tomlCodex, "tomlCodex"},
    {AgentClientFormat::yamlMcpServers, "yamlMcpServers"},
    {AgentClientFormat::jsonOpenclaw, "jsonOpenclaw"},
    {AgentClientFormat::manualMcpServers, "manualMcpServers"},
}};
} // namespace

QString AgentClientFormats::rawValue(AgentClientFormat format)
{
    for (const auto &[candidate, name] : names) {
        if (candidate == format)
            return QString::fromLatin1(name);
    }
    return {};
}
