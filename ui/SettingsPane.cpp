#include "SettingsPane.h"

namespace SettingsPanes {

namespace {

struct PaneTexts
{
    const char *sectionName;
    const char *title;
    const char *shows;
};

PaneTexts textsOf(SettingsPane pane)
{
    switch (pane) {
    case SettingsPane::general:
        return {"general", "General", "appearance, the local service address and this build"};
    case SettingsPane::security:
        return {"security", "Security & Secrets", "credential custody, unlock methods and keyring trust"};
    case SettingsPane::agents:
        return {"agents", "Agents", "active agent keys and agent write access"};
    case SettingsPane::providers:
        return {"providers", "Providers", "the connector catalog and linked provider records"};
    case SettingsPane::recovery:
        return {"recovery", "Recovery", "the local service check and the recovery checklist"};
    case SettingsPane::updates:
        return {"updates", "Updates", "the updater and crash reports"};
    case SettingsPane::support:
        return {"support", "Support", "the support page and a support email draft"};
    }
    return textsOf(SettingsPane::general);
}

} // namespace

QList<SettingsPane> all()
{
    return {SettingsPane::general, SettingsPane::security, SettingsPane::agents, SettingsPane::providers,
            SettingsPane::recovery, SettingsPane::updates, SettingsPane::support};
}

QString sectionName(SettingsPane pane)
{
    return QString::fromLatin1(textsOf(pane).sectionName);
}

QString title(SettingsPane pane)
{
    return QString::fromUtf8(textsOf(pane).title);
}

QString accessibleName(SettingsPane pane)
{
    return title(pane) + QStringLiteral(". Shows ") + QString::fromUtf8(textsOf(pane).shows);
}

SettingsPane fromSectionName(const QString &name)
{
    const QString wanted = name.trimmed().toLower();
    for (const SettingsPane pane : all()) {
        if (wanted == sectionName(pane) || wanted == title(pane).toLower())
            return pane;
    }
    return SettingsPane::general;
}

} // namespace SettingsPanes
