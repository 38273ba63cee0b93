#include "AutomationShell.h"

#include "CrashReporter.h"
#include "MainWindow.h"
#include "TorvaneAppDelegate.h"
#include "TrayIcon.h"
#include "TrayPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QMessageBox>
#include <QSystemTrayIcon>

namespace {
QString labelText(const QWidget *parent, const QString &name)
{
    const QLabel *label = parent->findChild<QLabel *>(name);
    return label && label->isVisibleTo(parent) ? label->text() : QString();
}

bool buttonShown(const QWidget *parent, const QString &name)
{
    const QAbstractButton *button = parent->findChild<QAbstractButton *>(name);
    return button && button->isVisibleTo(parent);
}

QJsonObject panelJson(const TrayPanel &panel)
{
    QJsonArray approvals;
    for (const QWidget *row : panel.findChildren<QWidget *>()) {
        const QString approvalID = row->property("approvalId").toString();
        if (approvalID.isEmpty() || !row->isVisibleTo(&panel))
            continue;
        const QAbstractButton *approve = row->findChild<QAbstractButton *>(QStringLiteral("trayApprove"));
        approvals.append(QJsonObject{{QStringLiteral("id"), approvalID},
                                     {QStringLiteral("heading"), labelText(row, QStringLiteral("trayApprovalHeading"))},
                                     {QStringLiteral("detail"), labelText(row, QStringLiteral("trayApprovalDetail"))},
                                     {QStringLiteral("input"), labelText(row, QStringLiteral("trayApprovalInput"))},
                                     {QStringLiteral("approveEnabled"), approve && approve->isEnabled()}});
    }
    return {{QStringLiteral("visible"), panel.isVisible()},
            {QStringLiteral("title"), labelText(&panel, QStringLiteral("trayStatusTitle"))},
            {QStringLiteral("detail"), labelText(&panel, QStringLiteral("trayStatusDetail"))},
            {QStringLiteral("refreshing"), !labelText(&panel, QStringLiteral("trayRefreshing")).isEmpty()},
            {QStringLiteral("approvals"), approvals},
            {QStringLiteral("emptyTitle"), labelText(&panel, QStringLiteral("trayEmptyTitle"))},
            {QStringLiteral("disableKillSwitchShown"), buttonShown(&panel, QStringLiteral("trayDisableKillSwitch"))},
            {QStringLiteral("revokeAllShown"), buttonShown(&panel, QStringLiteral("trayRevokeAll"))},
            {QStringLiteral("confirmationShown"), panel.confirmKillSwitch()}};
}

QJsonObject trayJson(const TrayIcon &tray)
{
    return {{QStringLiteral("systemTrayAvailable"), QSystemTrayIcon::isSystemTrayAvailable()},
            {QStringLiteral("visible"), tray.systemTrayIcon()->isVisible()},
            {QStringLiteral("toolTip"), tray.systemTrayIcon()->toolTip()},
            {QStringLiteral("badge"), tray.badge()},
            {QStringLiteral("panel"), panelJson(*tray.panel())}};
}

QJsonArray openMessageBoxes()
{
    QJsonArray boxes;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        const auto *box = qobject_cast<const QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        QJsonArray buttons;
        for (const QAbstractButton *button : box->buttons())
            buttons.append(button->text());
        boxes.append(QJsonObject{{QStringLiteral("objectName"), box->objectName()},
                                 {QStringLiteral("text"), box->text()},
                                 {QStringLiteral("informativeText"), box->informativeText()},
                                 {QStringLiteral("buttons"), buttons}});
    }
    return boxes;
}

QJsonValue visibility(const QWidget *window)
{
    return window ? QJsonValue(window->isVisible()) : QJsonValue(QJsonValue::Null);
}
} // namespace

namespace AutomationShell {

void addShellState(QJsonObject &state, const TorvaneAppDelegate &shell)
{
    state.insert(QStringLiteral("mainWindowVisible"), visibility(shell.mainWindow()));
    state.insert(QStringLiteral("mainWindowActive"), shell.mainWindow() && shell.mainWindow()->isActiveWindow());
    state.insert(QStringLiteral("settingsWindowVisible"), visibility(shell.settingsWindow()));
    state.insert(QStringLiteral("aboutWindowVisible"), visibility(shell.aboutWindow()));
    state.insert(QStringLiteral("mainWindowWatchdogRunning"), shell.mainWindowWatchdogRunning());
    state.insert(QStringLiteral("updateBehavior"), shell.updater().statusDisplay());
    state.insert(QStringLiteral("tray"), shell.trayIcon() ? QJsonValue(trayJson(*shell.trayIcon())) : QJsonValue(QJsonValue::Null));
    state.insert(QStringLiteral("messageBoxes"), openMessageBoxes());
    const std::optional<CrashReportSummary> offered = shell.crashReporter() ? shell.crashReporter()->offeredSummary() : std::nullopt;
    state.insert(QStringLiteral("crashReportOffer"), offered ? QJsonValue(offered->jsonPayload()) : QJsonValue(QJsonValue::Null));
}

QWidget *windowNamed(const TorvaneAppDelegate &shell, const QString &name)
{
    if (name.isEmpty() || name == QLatin1StringView("main"))
        return shell.mainWindow();
    if (name == QLatin1StringView("settings"))
        return shell.settingsWindow();
    if (name == QLatin1StringView("about"))
        return shell.aboutWindow();
    if (name == QLatin1StringView("trayPanel"))
        return shell.trayIcon() ? shell.trayIcon()->panel() : nullptr;
    return nullptr;
}

bool clickButton(const QString &button, QWidget *window)
{
    const QWidgetList windows = window ? QWidgetList{window} : QApplication::topLevelWidgets();
    for (QWidget *candidate : windows) {
        if (!candidate->isVisible())
            continue;
        for (QAbstractButton *found : candidate->findChildren<QAbstractButton *>()) {
            if (found->isVisible() && found->isEnabled() && (found->objectName() == button || found->text() == button)) {
                found->click();
                return true;
            }
        }
    }
    return false;
}

} // namespace AutomationShell
