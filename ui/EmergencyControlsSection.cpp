#include "EmergencyControlsSection.h"

#include "AppModel.h"
#include "FormWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EmergencyControlsSection::EmergencyControlsSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_stateLabel(FormWidgets::text(this, QStringLiteral("tvn-kill-switch-state")))
    , m_killSwitchButton(FormWidgets::button(this, QStringLiteral("tvn-kill-switch"), {}))
    , m_revokeAllButton(FormWidgets::button(this, QStringLiteral("tvn-revoke-all"), QStringLiteral("Revoke All Agent Keys")))
{
    FormWidgets::setRole(m_revokeAllButton, "danger");
    m_revokeAllButton->setToolTip(QStringLiteral("Open confirmation before revoking every agent key"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_killSwitchButton);
    buttons->addWidget(m_revokeAllButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(this, QStringLiteral("tvn-emergency-heading"), QStringLiteral("Emergency controls")));
    layout->addWidget(FormWidgets::text(this, QStringLiteral("tvn-emergency-intro"),
                                        QStringLiteral("Instantly cut off every agent if something looks wrong. Your connected "
                                                       "app credentials stay safe in the local vault — only the agent keys "
                                                       "stop working.")));
    layout->addWidget(m_stateLabel);
    layout->addLayout(buttons);

    connect(m_killSwitchButton, &QPushButton::clicked, this, &EmergencyControlsSection::toggleKillSwitch);
    connect(m_revokeAllButton, &QPushButton::clicked, this, &EmergencyControlsSection::revokeAll);
    connect(model, &AppModel::changed, this, &EmergencyControlsSection::render);
    render();
}

void EmergencyControlsSection::render()
{
    const bool active = m_model->killSwitch()->killSwitchActive();
    m_stateLabel->setText(active ? KillSwitch::pausedText : QStringLiteral("Agent calls are allowed."));
    FormWidgets::setRole(m_stateLabel, active ? "error" : "note");
    const QString title = active ? QStringLiteral("Disable kill switch") : QStringLiteral("Enable kill switch");
    m_killSwitchButton->setText(title);
    m_killSwitchButton->setAccessibleName(title);
    FormWidgets::setRole(m_killSwitchButton, active ? "primary" : "danger");
    m_revokeAllButton->setEnabled(!m_model->context()->actions().contains(KillSwitch::emergencyRevokeActionKey));
}

void EmergencyControlsSection::toggleKillSwitch()
{
    KillSwitch *killSwitch = m_model->killSwitch();
    if (killSwitch->killSwitchActive()) {
        m_model->setKillSwitch(false);
        return;
    }
    killSwitch->setKillSwitchConfirmationRequested(true);
    const bool confirmed = FormWidgets::confirm(
        this, QStringLiteral("tvn-confirm-kill-switch"), QStringLiteral("Enable kill switch?"),
        QStringLiteral("Every agent call is refused until you disable it. Agent keys and connected apps stay as they are."),
        QStringLiteral("Enable kill switch"));
    killSwitch->setKillSwitchConfirmationRequested(false);
    if (confirmed)
        m_model->setKillSwitch(true);
}

void EmergencyControlsSection::revokeAll()
{
    if (FormWidgets::confirm(this, QStringLiteral("tvn-confirm-revoke-all"), KillSwitch::emergencyRevokeConfirmationTitle,
                             KillSwitch::emergencyRevokeConfirmationText, QStringLiteral("Revoke All Agent Keys")))
        m_model->emergencyRevokeAllAgentKeys();
}
