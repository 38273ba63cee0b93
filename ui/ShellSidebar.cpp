#include "ShellSidebar.h"

#include "AppModel.h"
#include "ConnectorAuthModes.h"
#include "FormWidgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
constexpr int sidebarWidth = 232;
}

ShellSidebar::ShellSidebar(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_homeButton(navButton(QStringLiteral("tvn-nav-home"), QStringLiteral("Home"),
                             QStringLiteral("Home. Shows the Torvane overview"), SidebarItem::home()))
    , m_agentKeysButton(navButton(QStringLiteral("tvn-nav-agent-keys"), QStringLiteral("Agent Keys"),
                                  QStringLiteral("Agent Keys. Shows active agent keys and setup options"),
                                  SidebarItem::agentKeys()))
    , m_advancedButton(navButton(QStringLiteral("tvn-nav-advanced"), QStringLiteral("Advanced"),
                                 QStringLiteral("Advanced. Shows advanced controls and recovery tools"),
                                 SidebarItem::advanced()))
    , m_searchField(FormWidgets::field(this, QStringLiteral("tvn-app-search"), QStringLiteral("Search apps")))
    , m_appRows(new QVBoxLayout)
    , m_emptyLabel(FormWidgets::text(this, QStringLiteral("tvn-app-list-empty")))
    , m_serviceFooter(FormWidgets::text(this, QStringLiteral("tvn-footer-service")))
    , m_handoffFooter(FormWidgets::text(this, QStringLiteral("tvn-footer-handoff")))
{
    setObjectName(QStringLiteral("tvn-sidebar"));
    setAccessibleName(QStringLiteral("Sidebar"));
    setFixedWidth(sidebarWidth);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("QWidget#tvn-sidebar { background: #18201f; border-right: 1px solid #2c3836; }"));
    FormWidgets::setRole(m_emptyLabel, "note");
    FormWidgets::setRole(m_handoffFooter, "note");

    QLabel *brand = FormWidgets::text(this, QStringLiteral("tvn-brand"), model->identity().appName());
    FormWidgets::setRole(brand, "title");
    QLabel *appsHeading = FormWidgets::text(this, QStringLiteral("tvn-apps-heading"), QStringLiteral("Apps"));
    FormWidgets::setRole(appsHeading, "note");

    auto *listContent = new QWidget(this);
    auto *listLayout = new QVBoxLayout(listContent);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(2);
    m_appRows->setSpacing(2);
    listLayout->addLayout(m_appRows);
    listLayout->addWidget(m_emptyLabel);
    listLayout->addWidget(FormWidgets::text(listContent, QStringLiteral("tvn-connect-more"),
                                            QStringLiteral("Use Home to connect more apps")));
    listLayout->addStretch();
    auto *listScroll = new QScrollArea(this);
    listScroll->setObjectName(QStringLiteral("tvn-app-list"));
    listScroll->setAccessibleName(QStringLiteral("Apps"));
    listScroll->setWidgetResizable(true);
    listScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listScroll->setWidget(listContent);
    listContent->setStyleSheet(QStringLiteral("background: transparent;"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 16, 12, 12);
    layout->setSpacing(6);
    layout->addWidget(brand);
    layout->addSpacing(8);
    layout->addWidget(m_homeButton);
    layout->addWidget(m_agentKeysButton);
    layout->addWidget(m_advancedButton);
    layout->addSpacing(10);
    layout->addWidget(appsHeading);
    layout->addWidget(m_searchField);
    layout->addWidget(listScroll, 1);
    layout->addWidget(m_serviceFooter);
    layout->addWidget(m_handoffFooter);

    connect(m_searchField, &QLineEdit::textChanged, this, &ShellSidebar::renderList);
    connect(model, &AppModel::changed, this, &ShellSidebar::render);
    markSelection();
    render();
}

QPushButton *ShellSidebar::navButton(const QString &objectName, const QString &title, const QString &accessibleName,
                                     const SidebarItem &item)
{
    QPushButton *button = FormWidgets::button(this, objectName, title);
    button->setAccessibleName(accessibleName);
    button->setCheckable(true);
    FormWidgets::setRole(button, "nav");
    connect(button, &QPushButton::clicked, this, [this, item] { emit selected(item); });
    return button;
}

void ShellSidebar::setSelection(const SidebarItem &item)
{
    m_selection = item;
    markSelection();
}

void ShellSidebar::markSelection()
{
    m_homeButton->setChecked(m_selection.kind == SidebarItem::Kind::home);
    m_agentKeysButton->setChecked(m_selection.kind == SidebarItem::Kind::agentKeys);
    m_advancedButton->setChecked(m_selection.kind == SidebarItem::Kind::advanced);
    for (int index = 0; index < m_appRows->count(); ++index) {
        if (auto *row = qobject_cast<QPushButton *>(m_appRows->itemAt(index)->widget()))
            row->setChecked(m_selection.kind == SidebarItem::Kind::connector
                            && row->property("connectorID").toString() == m_selection.connectorID);
    }
}

QList<ConnectorSummary> ShellSidebar::filteredConnectors() const
{
    const QString search = m_searchField->text().trimmed().toLower();
    QList<ConnectorSummary> shown;
    for (const ConnectorSummary &connector : m_model->snapshot()->connectors()) {
        if (search.isEmpty() || connector.displayName.toLower().contains(search) || connector.id.contains(search)
            || ConnectorAuthModes::authSearchText(connector).contains(search))
            shown << connector;
    }
    return shown;
}

QString ShellSidebar::emptyListText() const
{
    const QString search = m_searchField->text().trimmed();
    if (m_model->isRefreshing() && m_model->snapshot()->connectors().isEmpty())
        return QStringLiteral("Loading apps from the local service...");
    if (!search.isEmpty())
        return QStringLiteral("Searching apps... no app matches \"%1\"").arg(search);
    if (m_model->snapshot()->operatorLocked() || !m_model->snapshot()->operatorUnlocked())
        return QStringLiteral("Unlock the vault to load apps");
    return QStringLiteral("App catalog not loaded. Refresh TVN or use Home to repair the local service.");
}

QString ShellSidebar::serviceFooterText() const
{
    if (!m_model->supervision()->brokerHealthReady())
        return QStringLiteral("Click Home to turn it on");
    if (!m_model->snapshot()->operatorUnlocked())
        return QStringLiteral("Unlock the vault on Home");
    return QStringLiteral("Running on this computer");
}

QString ShellSidebar::handoffFooterText() const
{
    const AgentHandoff *handoff = m_model->agentHandoff();
    if (handoff->agentHandoffVerified())
        return QStringLiteral("Handoff verified");
    if (handoff->lastAgentHandoffVerification())
        return QStringLiteral("Handoff not verified · Run Verify setup");
    if (handoff->agentHandoffBaseReady())
        return QStringLiteral("Agent setup ready");
    return {};
}

void ShellSidebar::render()
{
    renderList();
    m_serviceFooter->setText(serviceFooterText());
    m_handoffFooter->setText(handoffFooterText());
    FormWidgets::setRole(m_serviceFooter, m_model->snapshot()->operatorUnlocked() ? "ok" : "warning");
    m_handoffFooter->setVisible(!m_handoffFooter->text().isEmpty());
}

void ShellSidebar::renderList()
{
    const QList<ConnectorSummary> connectors = filteredConnectors();
    QList<int> counts;
    for (const ConnectorSummary &connector : connectors)
        counts << m_model->snapshot()->connectedCount(connector);
    m_emptyLabel->setText(emptyListText());
    m_emptyLabel->setVisible(connectors.isEmpty());
    if (connectors == m_shownConnectors && counts == m_shownCounts)
        return;
    m_shownConnectors = connectors;
    m_shownCounts = counts;
    FormWidgets::clear(m_appRows);
    for (qsizetype index = 0; index < connectors.size(); ++index) {
        const ConnectorSummary &connector = connectors.at(index);
        const int count = counts.at(index);
        const QString title = count > 0 ? QStringLiteral("%1  ·  %2").arg(connector.displayName).arg(count)
                                        : connector.displayName;
        const QString accessibleName = QStringLiteral("%1, %2 connected").arg(connector.displayName).arg(count);
        QPushButton *row = navButton(QStringLiteral("tvn-nav-app"), title, accessibleName,
                                     SidebarItem::connector(connector.id));
        row->setProperty("connectorID", connector.id);
        m_appRows->addWidget(row);
    }
    markSelection();
}
