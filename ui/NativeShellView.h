#pragma once

#include "SidebarItem.h"

#include <QWidget>

#include <functional>

class AdvancedScreen;
class AgentKeysScreen;
class AppModel;
class ConnectorScreen;
class HomeScreen;
class QScrollArea;
class QStackedWidget;
class ShellSidebar;

// The native shell: the sidebar and the screen it selects (Home, Agent Keys, one app's connect
// screen, Advanced). The selection is the only state it keeps; no selection shows Home.
class NativeShellView : public QWidget
{
    Q_OBJECT

public:
    explicit NativeShellView(AppModel *model, QWidget *parent = nullptr);

    SidebarItem selection() const { return m_selection; }
    void select(const SidebarItem &item);
    // How "Open local dashboard" opens the broker's page.
    void setURLOpener(std::function<void(const QUrl &)> opener) { m_openURL = std::move(opener); }

    ShellSidebar *sidebar() const { return m_sidebar; }
    HomeScreen *homeScreen() const { return m_home; }
    AgentKeysScreen *agentKeysScreen() const { return m_agentKeys; }
    ConnectorScreen *connectorScreen() const { return m_connector; }
    AdvancedScreen *advancedScreen() const { return m_advanced; }
    QWidget *currentScreen() const;

Q_SIGNALS:
    void selectionChanged();

private:
    AppModel *m_model;
    ShellSidebar *m_sidebar;
    QScrollArea *m_scroll;
    QStackedWidget *m_screens;
    HomeScreen *m_home;
    AgentKeysScreen *m_agentKeys;
    ConnectorScreen *m_connector;
    AdvancedScreen *m_advanced;
    SidebarItem m_selection;
    std::function<void(const QUrl &)> m_openURL;
};
