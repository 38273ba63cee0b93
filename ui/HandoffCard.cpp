#include "HandoffCard.h"

#include "AgentHandoffVerificationReceipt.h"
#include "AppModel.h"
#include "FormWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

HandoffCard::HandoffCard(AppModel *model, QWidget *parent)
    : QFrame(parent)
    , m_model(model)
    , m_title(FormWidgets::heading(this, QStringLiteral("tvn-home-handoff-title"), {}))
    , m_detail(FormWidgets::text(this, QStringLiteral("tvn-home-handoff-detail")))
    , m_receipt(new AgentHandoffVerificationReceipt(this))
    , m_verifyButton(FormWidgets::button(this, QStringLiteral("tvn-home-handoff-verify"), QStringLiteral("Verify setup")))
    , m_copyButton(FormWidgets::button(this, QStringLiteral("tvn-home-handoff-copy"), QStringLiteral("Copy agent setup")))
{
    // Styled as every other card.
    setObjectName(QStringLiteral("card"));
    setAccessibleName(QStringLiteral("Agent handoff"));
    FormWidgets::setRole(m_detail, "note");
    m_verifyButton->setToolTip(QStringLiteral("Check the setup profile, wrapper, local service and MCP handshake end to end"));
    m_copyButton->setToolTip(QStringLiteral("Copy the agent setup; it is copied only after the handoff verified"));
    QPushButton *manage = FormWidgets::button(this, QStringLiteral("tvn-home-handoff-manage"), QStringLiteral("Manage agent keys"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_verifyButton);
    buttons->addWidget(m_copyButton);
    buttons->addWidget(manage);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->addWidget(m_title);
    layout->addWidget(m_detail);
    layout->addWidget(m_receipt);
    layout->addLayout(buttons);

    connect(m_verifyButton, &QPushButton::clicked, this, [model] { model->verifyActiveAgentHandoff(); });
    connect(m_copyButton, &QPushButton::clicked, this, [model] { model->copyActiveAgentHandoffConfigIfVerified(); });
    connect(manage, &QPushButton::clicked, this, &HandoffCard::manageKeysRequested);
    connect(model, &AppModel::changed, this, &HandoffCard::render);
    render();
}

void HandoffCard::render()
{
    const AgentHandoff *handoff = m_model->agentHandoff();
    const bool verified = handoff->agentHandoffVerified();
    const QString profile = handoff->activeAgentHandoffProfile();
    m_title->setText(verified ? QStringLiteral("Verified agent handoff") : QStringLiteral("Handoff needs attention"));
    // A revoked key's profile is no handoff to offer: without an active key there is none. Locked,
    // the keys are not loaded, so whether one exists is unknown.
    const bool noActiveKey = m_model->snapshot()->activeMasterKeysCount() == 0;
    m_detail->setText(!m_model->snapshot()->operatorUnlocked()
                          ? QStringLiteral("Unlock the vault to verify or copy the agent setup.")
                      : noActiveKey
                          ? QStringLiteral("Make an agent key first: its setup profile is what an agent app uses.")
                          : QStringLiteral("Setup profile ") + profile
                              + (verified ? QStringLiteral(" passed every check.")
                                          : QStringLiteral(": run Verify setup before handing it to an agent app.")));
    m_receipt->show(noActiveKey ? std::nullopt : handoff->lastAgentHandoffVerification(), false);
    const bool verifying = handoff->verifyingActiveAgentHandoff();
    m_verifyButton->setEnabled(!verifying && handoff->agentHandoffBaseReady());
    m_copyButton->setEnabled(!verifying && verified);
}
