#include "NativeShellView.h"

#include "AdvancedScreen.h"
#include "AgentKeysScreen.h"
#include "AppModel.h"
#include "ConnectorScreen.h"
#include "FormWidgets.h"
#include "HomeScreen.h"
#include "ShellSidebar.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QStackedWidget>

NativeShellView::NativeShellView(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_sidebar(new ShellSidebar(model, this))
    , m_scroll(new QScrollArea(this))
    , m_screens(new QStackedWidget)
    , m_home(new HomeScreen(model, m_screens))
    , m_agentKeys(new AgentKeysScreen(model, m_screens))
    , m_connector(new ConnectorScreen(model, m_screens))
    , m_advanced(new AdvancedScreen(model, m_screens))
    , m_openURL([](const QUrl &url) { QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("tvn-native-shell"));
    setAccessibleName(QStringLiteral("Torvane"));
    setStyleSheet(FormWidgets::style + QStringLiteral("QWidget#tvn-screens { background: #101214; }"));
    m_screens->setObjectName(QStringLiteral("tvn-screens"));
    for (QWidget *screen : {static_cast<QWidget *>(m_home), static_cast<QWidget *>(m_agentKeys),
                            static_cast<QWidget *>(m_connector), static_cast<QWidget *>(m_advanced)})
        m_screens->addWidget(screen);
    m_scroll->setObjectName(QStringLiteral("tvn-screen-scroll"));
    m_scroll->setAccessibleName(QStringLiteral("Screen"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_screens);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar);
    layout->addWidget(m_scroll, 1);

    connect(m_sidebar, &ShellSidebar::selected, this, &NativeShellView::select);
    connect(m_home, &HomeScreen::navigationRequested, this, &NativeShellView::select);
    connect(m_advanced, &AdvancedScreen::openDashboardRequested, this, [this] { m_openURL(m_model->brokerURL()); });
    select(SidebarItem::home());
}

QWidget *NativeShellView::currentScreen() const
{
    return m_screens->currentWidget();
}

void NativeShellView::select(const SidebarItem &item)
{
    m_selection = item;
    m_sidebar->setSelection(item);
    switch (item.kind) {
    case SidebarItem::Kind::home:
        m_screens->setCurrentWidget(m_home);
        break;
    case SidebarItem::Kind::agentKeys:
        m_screens->setCurrentWidget(m_agentKeys);
        break;
    case SidebarItem::Kind::advanced:
        m_screens->setCurrentWidget(m_advanced);
        break;
    case SidebarItem::Kind::connector:
        m_connector->setConnectorID(item.connectorID);
        m_screens->setCurrentWidget(m_connector);
        break;
    }
    // The stack is as tall as its tallest screen unless the others are told to shrink.
    for (int index = 0; index < m_screens->count(); ++index) {
        QWidget *screen = m_screens->widget(index);
        screen->setSizePolicy(QSizePolicy::Preferred,
                              screen == m_screens->currentWidget() ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    }
    emit selectionChanged();
}
