#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// The settings window's panes, in sidebar order.
enum class SettingsPane : std::uint8_t {
    general,
    security,
    agents,
    providers,
    recovery,
    updates,
    support,
};

namespace SettingsPanes {

QList<SettingsPane> all();
// The short section name "TVN_SETTINGS_INITIAL_SECTION" takes ("general", "security", …).
QString sectionName(SettingsPane pane);
QString title(SettingsPane pane);
// What the sidebar entry says to assistive tools: the title and what the pane shows.
QString accessibleName(SettingsPane pane);
// A trimmed, lower-cased section name or pane title; anything unrecognised is the first pane.
SettingsPane fromSectionName(const QString &name);

} // namespace SettingsPanes
