#include "TrayIcon.h"

#include "AppModel.h"
#include "MenuBarStatus.h"
#include "TrayIconArt.h"
#include "TrayPanel.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>

TrayIcon::TrayIcon(AppModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_panel(new TrayPanel(model))
    , m_menu(new QMenu)
    , m_icon(new QSystemTrayIcon(this))
{
    m_menu->addAction(QStringLiteral("Open Torvane"), this, &TrayIcon::openMainWindowRequested);
    m_menu->addAction(QStringLiteral("Show Approvals"), this, &TrayIcon::showPanel);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Quit Torvane"), this, &TrayIcon::quitRequested);
    m_icon->setContextMenu(m_menu);
    connect(m_panel, &TrayPanel::openMainWindowRequested, this, &TrayIcon::openMainWindowRequested);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            showPanel();
    });
    connect(m_model, &AppModel::changed, this, &TrayIcon::render);
    m_icon->setIcon(TrayIconArt::trayIcon(false, {}));
    render();
    m_icon->show();
}

TrayIcon::~TrayIcon()
{
    delete m_panel;
    delete m_menu;
}

void TrayIcon::render()
{
    const MenuBarStatus status = MenuBarStatus::of(*m_model);
    m_icon->setToolTip(status.accessibilityLabel());
    // Repainting the icon on every model change makes some trays flicker: only when it differs.
    if (status.countBadge() == m_badge && status.killSwitchActive == m_killSwitchShown)
        return;
    m_badge = status.countBadge();
    m_killSwitchShown = status.killSwitchActive;
    m_icon->setIcon(TrayIconArt::trayIcon(m_killSwitchShown, m_badge));
}

void TrayIcon::showPanel()
{
    const QRect iconArea = m_icon->geometry();
    const QPoint anchor = iconArea.isValid() ? iconArea.bottomLeft() : QCursor::pos();
    m_panel->adjustSize();
    QPoint topLeft = anchor;
    if (const QScreen *screen = QGuiApplication::screenAt(anchor)) {
        const QRect available = screen->availableGeometry();
        topLeft.setX(std::clamp(anchor.x(), available.left(), std::max(available.left(), available.right() - m_panel->width())));
        topLeft.setY(std::clamp(anchor.y(), available.top(), std::max(available.top(), available.bottom() - m_panel->height())));
    }
    m_panel->move(topLeft);
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}
