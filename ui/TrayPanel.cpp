#include "TrayPanel.h"

#include "AppModel.h"
#include "Approvals.h"
#include "FormWidgets.h"
#include "MenuBarStatus.h"
#include "TrayIconArt.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString panelStyle = QStringLiteral("TrayPanel { background: #0f1514; border: 1px solid #2c3836; }");
constexpr int panelWidth = 360;

QLabel *noteLabel(QWidget *parent, const QString &objectName)
{
    QLabel *label = FormWidgets::text(parent, objectName);
    FormWidgets::setRole(label, "note");
    return label;
}

QPushButton *helpButton(QWidget *parent, const QString &objectName, const QString &text, const QString &help = {})
{
    QPushButton *button = FormWidgets::button(parent, objectName, text);
    button->setToolTip(help);
    button->setAccessibleDescription(help);
    return button;
}

QString approvalInputText(const ApprovalSummary &approval)
{
    if (!approval.displayInput || approval.displayInput->isEmpty())
        return {};
    QStringList pairs;
    for (auto it = approval.displayInput->cbegin(); it != approval.displayInput->cend(); ++it)
        pairs.append(it.key() + QStringLiteral(": ") + it.value().debugString());
    return pairs.join(QStringLiteral(" · "));
}
} // namespace

TrayPanel::TrayPanel(AppModel *model, QWidget *parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_model(model)
    , m_title(FormWidgets::heading(this, QStringLiteral("trayStatusTitle"), {}))
    , m_detail(noteLabel(this, QStringLiteral("trayStatusDetail")))
    , m_refreshing(noteLabel(this, QStringLiteral("trayRefreshing")))
    , m_approvalRows(new QWidget(this))
    , m_approvalRowsLayout(new QVBoxLayout(m_approvalRows))
    , m_emptyState(new QWidget(this))
    , m_confirmation(new QFrame(this))
    , m_disableKillSwitch(helpButton(this, QStringLiteral("trayDisableKillSwitch"), QStringLiteral("Disable kill switch"),
                                            QStringLiteral("Allow newly created agent keys to work after an emergency stop")))
    , m_revokeAll(helpButton(this, QStringLiteral("trayRevokeAll"), QStringLiteral("Revoke all"),
                                    QStringLiteral("Open confirmation before revoking every agent key")))
    , m_openMainWindow(helpButton(this, QStringLiteral("trayOpenMainWindow"), QStringLiteral("Open Torvane"),
                                         QStringLiteral("Open the Torvane main window")))
{
    setObjectName(QStringLiteral("trayPanel"));
    setStyleSheet(FormWidgets::style + panelStyle);
    setFixedWidth(panelWidth);
    m_refreshing->setText(QStringLiteral("Refreshing"));
    m_approvalRowsLayout->setContentsMargins(0, 0, 0, 0);
    m_approvalRowsLayout->setSpacing(8);
    m_revokeAll->setIcon(TrayIconArt::symbol(QStringLiteral("power"), palette().color(QPalette::ButtonText)));
    m_openMainWindow->setIcon(TrayIconArt::symbol(QStringLiteral("arrow.up.forward.app"), palette().color(QPalette::ButtonText)));
    FormWidgets::setRole(m_openMainWindow, "primary");
    FormWidgets::setRole(m_revokeAll, "danger");

    auto *emptyLayout = new QVBoxLayout(m_emptyState);
    emptyLayout->setContentsMargins(0, 12, 0, 12);
    auto *emptyIcon = new QLabel(m_emptyState);
    emptyIcon->setObjectName(QStringLiteral("trayEmptyIcon"));
    emptyIcon->setPixmap(TrayIconArt::symbol(QStringLiteral("checkmark.shield"), QColor(0x56, 0xd3, 0x64)).pixmap(32, 32));
    emptyIcon->setAlignment(Qt::AlignHCenter);
    QLabel *emptyTitle = FormWidgets::heading(m_emptyState, QStringLiteral("trayEmptyTitle"), QStringLiteral("Nothing needs you right now"));
    emptyTitle->setAlignment(Qt::AlignHCenter);
    QLabel *emptyText = noteLabel(m_emptyState, QStringLiteral("trayEmptyText"));
    emptyText->setText(QStringLiteral("Pending agent approvals will appear here."));
    emptyText->setAlignment(Qt::AlignHCenter);
    emptyLayout->addWidget(emptyIcon);
    emptyLayout->addWidget(emptyTitle);
    emptyLayout->addWidget(emptyText);

    FormWidgets::setRole(m_confirmation, "danger");
    auto *confirmationLayout = new QVBoxLayout(m_confirmation);
    QLabel *confirmationTitle = FormWidgets::heading(m_confirmation, QStringLiteral("trayConfirmationTitle"),
                                                     KillSwitch::emergencyRevokeConfirmationTitle);
    QLabel *confirmationText = noteLabel(m_confirmation, QStringLiteral("trayConfirmationText"));
    confirmationText->setText(KillSwitch::emergencyRevokeConfirmationText);
    QPushButton *confirm = FormWidgets::button(m_confirmation, QStringLiteral("trayConfirmRevokeAll"), QStringLiteral("Revoke All Agent Keys"));
    FormWidgets::setRole(confirm, "danger");
    QPushButton *cancel = FormWidgets::button(m_confirmation, QStringLiteral("trayCancelRevokeAll"), QStringLiteral("Cancel"));
    auto *confirmationButtons = new QHBoxLayout;
    confirmationButtons->addStretch();
    confirmationButtons->addWidget(cancel);
    confirmationButtons->addWidget(confirm);
    confirmationLayout->addWidget(confirmationTitle);
    confirmationLayout->addWidget(confirmationText);
    confirmationLayout->addLayout(confirmationButtons);

    auto *footer = new QHBoxLayout;
    footer->addWidget(m_disableKillSwitch);
    footer->addWidget(m_revokeAll);
    footer->addStretch();
    footer->addWidget(m_openMainWindow);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addWidget(m_detail);
    layout->addWidget(m_refreshing);
    layout->addSpacing(6);
    layout->addWidget(m_approvalRows);
    layout->addWidget(m_emptyState);
    layout->addWidget(m_confirmation);
    layout->addSpacing(6);
    layout->addLayout(footer);

    connect(m_disableKillSwitch, &QPushButton::clicked, m_model, [this] { m_model->setKillSwitch(false); });
    connect(m_revokeAll, &QPushButton::clicked, this, [this] { setConfirmKillSwitch(true); });
    connect(cancel, &QPushButton::clicked, this, [this] { setConfirmKillSwitch(false); });
    connect(confirm, &QPushButton::clicked, this, &TrayPanel::revokeAll);
    connect(m_openMainWindow, &QPushButton::clicked, this, [this] {
        hide();
        Q_EMIT openMainWindowRequested();
    });
    connect(m_model, &AppModel::changed, this, &TrayPanel::render);
    render();
}

void TrayPanel::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    m_model->refresh();
}

void TrayPanel::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    // Like a menu: it goes away when the user turns to another window.
    if (event->type() == QEvent::ActivationChange && m_wasActive && !isActiveWindow())
        hide();
    m_wasActive = isActiveWindow();
}

void TrayPanel::setConfirmKillSwitch(bool showing)
{
    m_confirmKillSwitch = showing;
    render();
}

void TrayPanel::revokeAll()
{
    setConfirmKillSwitch(false);
    m_model->emergencyRevokeAllAgentKeys();
}

void TrayPanel::render()
{
    const MenuBarStatus status = MenuBarStatus::of(*m_model);
    m_title->setText(status.title());
    m_detail->setText(status.detail());
    m_refreshing->setVisible(m_model->isRefreshing());
    renderApprovals();
    renderKillSwitchControl();
    adjustSize();
}

void TrayPanel::renderApprovals()
{
    // A row may be the sender of the click that caused this change: remove it later.
    while (QLayoutItem *item = m_approvalRowsLayout->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    const qsizetype count = m_model->snapshot()->approvals().size();
    for (int index = 0; index < count; ++index)
        m_approvalRowsLayout->addWidget(approvalRow(index));
    m_approvalRows->setVisible(count > 0);
    // Locked, the list is only not loaded: "Nothing needs you" would be a claim (the detail says why).
    m_emptyState->setVisible(count == 0 && m_model->snapshot()->operatorUnlocked());
}

QWidget *TrayPanel::approvalRow(int index)
{
    const ApprovalSummary approval = m_model->snapshot()->approvals().at(index);
    QFrame *row = FormWidgets::card(m_approvalRows, approval.toolId);
    row->setProperty("approvalId", approval.id);
    QLabel *heading = FormWidgets::text(row, QStringLiteral("trayApprovalHeading"), approval.agentId + QStringLiteral(" · ") + approval.connectorId);
    QLabel *detail = noteLabel(row, QStringLiteral("trayApprovalDetail"));
    detail->setText(approval.toolId + QStringLiteral(" · risk ") + approval.risk + QStringLiteral(" · expires ")
                    + approval.expiresAt);
    QLabel *input = noteLabel(row, QStringLiteral("trayApprovalInput"));
    input->setText(approvalInputText(approval));
    input->setVisible(!input->text().isEmpty());

    const RunningActions &actions = m_model->context()->actions();
    const bool running = actions.contains(Approvals::approveActionKey(approval)) || actions.contains(Approvals::denyActionKey(approval));
    QPushButton *approve = FormWidgets::button(row, QStringLiteral("trayApprove"), QStringLiteral("Approve"));
    FormWidgets::setRole(approve, "primary");
    QPushButton *deny = helpButton(row, QStringLiteral("trayDeny"), QStringLiteral("Deny"), QStringLiteral("Deny this request"));
    // A request the list shows cut is read whole in the main window before it can be approved.
    const bool mustReview = m_model->approvals()->needsWholeRequest(approval);
    approve->setEnabled(!running && !mustReview);
    if (mustReview)
        approve->setToolTip(Approvals::wholeRequestNeededText);
    deny->setEnabled(!running);
    connect(approve, &QPushButton::clicked, m_model, [model = m_model, approval] { model->approve(approval); });
    connect(deny, &QPushButton::clicked, m_model, [model = m_model, approval] { model->deny(approval); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(deny);
    buttons->addWidget(approve);
    auto *layout = new QVBoxLayout(row);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->addWidget(heading);
    layout->addWidget(detail);
    layout->addWidget(input);
    layout->addLayout(buttons);
    return row;
}

void TrayPanel::renderKillSwitchControl()
{
    const MenuBarStatus status = MenuBarStatus::of(*m_model);
    // The confirmation only makes sense while "Revoke all" is on offer.
    if (!status.offersRevokeAll())
        m_confirmKillSwitch = false;
    m_disableKillSwitch->setVisible(status.offersDisableKillSwitch());
    m_revokeAll->setVisible(status.offersRevokeAll() && !m_confirmKillSwitch);
    m_revokeAll->setEnabled(!m_model->context()->actions().contains(KillSwitch::emergencyRevokeActionKey));
    m_confirmation->setVisible(m_confirmKillSwitch);
}
