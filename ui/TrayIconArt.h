#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The few symbols the tray and its panel draw ("key.fill", "key.slash", "power",
// "arrow.up.forward.app", "checkmark.shield"), painted here so they look the same on every
// desktop theme, and the tray icon with its pending-approval badge.
namespace TrayIconArt {

QIcon symbol(const QString &name, const QColor &color);
// The key (or the slashed key while the kill switch is on), with `badge` in a red circle.
QIcon trayIcon(bool killSwitchActive, const QString &badge);

} // namespace TrayIconArt
