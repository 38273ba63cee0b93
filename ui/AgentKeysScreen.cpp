#include "AgentKeysScreen.h"

#include "AgentAppSetupCard.h"
#include "AgentKeysSection.h"
#include "AppModel.h"
#include "FormWidgets.h"
#include "ScreenGate.h"

#include <QLabel>
#include <QVBoxLayout>

AgentKeysScreen::AgentKeysScreen(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_gateLabel(FormWidgets::text(this, QStringLiteral("tvn-agent-keys-gate")))
    , m_section(new AgentKeysSection(model, this))
    , m_agentApps(new AgentAppSetupCard(model, this))
{
    setObjectName(QStringLiteral("tvn-agent-keys-screen"));
    FormWidgets::setRole(m_gateLabel, "title");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->addWidget(m_gateLabel);
    layout->addWidget(m_section);
    layout->addWidget(m_agentApps);
    layout->addStretch();
    connect(model, &AppModel::changed, this, &AgentKeysScreen::render);
    render();
}

QString AgentKeysScreen::gateText() const
{
    switch (ScreenGate::reason(*m_model)) {
    case ScreenGate::Reason::serviceOff:
        return m_model->supervision()->localServiceRepairRequired()
            ? QStringLiteral("Finish setup on Home first")
            : QStringLiteral("Turn on Torvane on the Home screen, then you can create agent keys here.");
    case ScreenGate::Reason::locked:
        return QStringLiteral("Unlock the vault on the Home screen, then you can create agent keys here.");
    case ScreenGate::Reason::none:
        break;
    }
    return {};
}

void AgentKeysScreen::render()
{
    const QString gate = gateText();
    m_gateLabel->setText(gate);
    m_gateLabel->setVisible(!gate.isEmpty());
    m_section->setVisible(gate.isEmpty());
    m_agentApps->setVisible(gate.isEmpty());
}
