#pragma once

#include <QString>

// The local setup profile an agent's key is stored under: the agent identifier made safe for a
// file name, with the "-keel-tvn" suffix. The broker and the wrapper derive the same name.
class AgentProfileNames
{
public:
    static const QString suffix;

    // Letters and digits of any script, "_" and "-" stay; every other character becomes "_";
    // "_" and "-" are trimmed from both ends; nothing left reads "profile".
    static QString safeIdentifier(const QString &text);
    // `safeIdentifier(agentId)` with the suffix, unless it already ends with it.
    static QString profileName(const QString &agentId);
};
