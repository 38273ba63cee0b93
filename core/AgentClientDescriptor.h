#pragma once

#include "AgentClientFormat.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One agent app Torvane can register itself with. `relPath` is the config file relative to the
// home directory (Linux locations), absent for apps whose config cannot be written for them.
struct AgentClientDescriptor {
    QString id;
    QString label;
    AgentClientFormat format = AgentClientFormat::manualMcpServers;
    std::optional<QString> relPath;
    bool autoWrite = false;
    QStringList notes;
    QString systemImage;

    // The catalog, in the order the app lists it.
    static const QList<AgentClientDescriptor> &all();
    static std::optional<AgentClientDescriptor> find(const QString &id);

    // VS Code's layout names the transport; Claude Code writes it for itself as well.
    bool entryNamesTransport() const;
    // "~/" + relPath, or "paste-in (manual)".
    QString locationText() const;

    bool operator==(const AgentClientDescriptor &) const = default;
};
