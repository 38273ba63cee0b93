#pragma once

#include "AgentClientDescriptor.h"

#include <QString>

#include <optional>

// Torvane's "tvn" entry as found in an agent app's own config file, read without changing it.
// JSON is parsed; the TOML table and the YAML map are found by their lines, in the shapes the
// setup writer and the broker produce. A file that cannot be read that way holds no entry.
struct AgentClientConfigEntry {
    // The profile after "--profile" in the entry's args; empty when they name none.
    QString profile;

    static std::optional<AgentClientConfigEntry> find(const AgentClientDescriptor &client, const QString &configText);
};
