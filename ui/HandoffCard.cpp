#include "HandoffCard.h"

#include "AgentHandoffVerificationReceipt.h"
#include "AppModel.h"
#include "FormWidgets.h"

#include <QCoroTask>
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

    connect(m_verifyButton, &QPushButton::clicked, this, &HandoffCard::verify);
    connect(m_copyButton, &QPushButton::clicked, this, &HandoffCard::copySetup);
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
    m_detail->setText(profile.isEmpty()
                          ? QStringLiteral("Make an agent key first: its setup profile is what an agent app uses.")
                          : QStringLiteral("Setup profile ") + profile
                              + (verified ? QStringLiteral(" passed every check.")
                                          : QStringLiteral(": run Verify setup before handing it to an agent app.")));
    m_receipt->show(handoff->lastAgentHandoffVerification(), false);
    m_verifyButton->setEnabled(!m_verifying && handoff->agentHandoffBaseReady());
    m_copyButton->setEnabled(!m_verifying && verified);
}

void HandoffCard::verify()
{
    m_verifying = true;
    render();
    QCoro::connect(m_model->verifyActiveAgentHandoff(), this, [this] {
        m_verifying = false;
        render();
    });
}

void HandoffCard::copySetup()
{
    m_model->copyAgentHandoffConfigIfVerified(m_model->agentHandoff()->activeAgentHandoffProfile());
}
