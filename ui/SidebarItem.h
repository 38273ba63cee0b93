#pragma once

#include <QString>

// The native shell's selection: Home, Agent Keys, Advanced, or the screen of one connector.
struct SidebarItem {
    enum class Kind { home, agentKeys, advanced, connector };

    Kind kind = Kind::home;
    // The connector's id when `kind` is `connector`, else empty.
    QString connectorID;

    static SidebarItem home() { return {}; }
    static SidebarItem agentKeys() { return {Kind::agentKeys, {}}; }
    static SidebarItem advanced() { return {Kind::advanced, {}}; }
    static SidebarItem connector(const QString &id) { return {Kind::connector, id}; }

    friend bool operator==(const SidebarItem &, const SidebarItem &) = default;
};
