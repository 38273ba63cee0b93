#include "ConnectorScreen.h"

#include "AppModel.h"
#include "ConnectAppSection.h"
#include "FormWidgets.h"
#include "ScreenGate.h"

#include <QLabel>
#include <QVBoxLayout>

ConnectorScreen::ConnectorScreen(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_gateTitle(FormWidgets::text(this, QStringLiteral("tvn-connector-gate-title")))
    , m_gateText(FormWidgets::text(this, QStringLiteral("tvn-connector-gate")))
    , m_section(new ConnectAppSection(model, this))
{
    setObjectName(QStringLiteral("tvn-connector-screen"));
    FormWidgets::setRole(m_gateTitle, "title");
    FormWidgets::setRole(m_gateText, "note");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->addWidget(m_gateTitle);
    layout->addWidget(m_gateText);
    layout->addWidget(m_section);
    layout->addStretch();
    connect(model, &AppModel::changed, this, &ConnectorScreen::render);
}

void ConnectorScreen::setConnectorID(const QString &connectorID)
{
    m_connectorID = connectorID;
    render();
}

QString ConnectorScreen::gateTitle() const
{
    if (ScreenGate::reason(*m_model) == ScreenGate::Reason::locked)
        return QStringLiteral("Unlock the vault to connect apps");
    return {};
}

QString ConnectorScreen::gateText() const
{
    std::optional<ConnectorSummary> connector;
    for (const ConnectorSummary &candidate : m_model->snapshot()->connectors()) {
        if (candidate.id == m_connectorID)
            connector = candidate;
    }
    if (!connector)
        return QStringLiteral("This app is no longer in the catalog.");
    if (connector->status == QLatin1StringView("not_implemented"))
        return QStringLiteral("This connector isn't ready to set up yet. Choose GitHub, Telegram, or another available app "
                              "from the sidebar.");
    switch (ScreenGate::reason(*m_model)) {
    case ScreenGate::Reason::serviceOff:
        return QStringLiteral("Go to Home and turn on the local service, then come back to connect this app.");
    case ScreenGate::Reason::locked:
        return QStringLiteral("Torvane is protecting the local vault. Use Unlock the vault on the Home screen, then the "
                              "connect form appears here.");
    case ScreenGate::Reason::none:
        break;
    }
    return {};
}

void ConnectorScreen::render()
{
    const QString text = gateText();
    m_gateTitle->setText(gateTitle());
    m_gateTitle->setVisible(!gateTitle().isEmpty());
    m_gateText->setText(text);
    m_gateText->setVisible(!text.isEmpty());
    m_section->setVisible(text.isEmpty());
    if (text.isEmpty())
        m_section->setConnectorID(m_connectorID);
}
