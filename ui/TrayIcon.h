#pragma once

#include <QObject>

class AppModel;
class QMenu;
class QSystemTrayIcon;
class TrayPanel;

// The app's icon in the desktop's tray: the key (slashed while the kill switch is on) with the
// count of pending approvals, its accessible label as the tooltip, and the panel it opens.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(AppModel *model, QObject *parent = nullptr);
    ~TrayIcon() override;

    QSystemTrayIcon *systemTrayIcon() const { return m_icon; }
    TrayPanel *panel() const { return m_panel; }
    QString badge() const { return m_badge; }

    // Opens the panel beside the icon (or under the pointer when the tray does not say where).
    void showPanel();

Q_SIGNALS:
    void openMainWindowRequested();
    void quitRequested();

private:
    void render();

    AppModel *m_model;
    TrayPanel *m_panel;
    QMenu *m_menu;
    QSystemTrayIcon *m_icon;
    QString m_badge;
    bool m_killSwitchShown = false;
};
