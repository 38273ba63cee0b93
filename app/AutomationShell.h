#pragma once

#include <QJsonObject>

class QWidget;
class TorvaneAppDelegate;

// What the shell shows, for the automation channel: the main, settings and About windows, the
// tray icon and its panel, open message boxes and the crash report on offer. Only texts a person
// sees on screen; none of them carries a secret.
namespace AutomationShell {

void addShellState(QJsonObject &state, const TorvaneAppDelegate &shell);
// "main", "settings", "about" or "trayPanel"; null when that window does not exist.
QWidget *windowNamed(const TorvaneAppDelegate &shell, const QString &name);
// Clicks the visible button whose object name or text is `button`, in `window` or any window.
bool clickButton(const QString &button, QWidget *window);

} // namespace AutomationShell
