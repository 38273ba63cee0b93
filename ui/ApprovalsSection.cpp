#include "ApprovalsSection.h"

#include "AppModel.h"
#include "FormWidgets.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ApprovalsSection::ApprovalsSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_testButton(FormWidgets::button(this, QStringLiteral("tvn-approval-test"), QStringLiteral("Test a risky write")))
    , m_cards(this, QStringLiteral("No pending approvals."),
              [this](const ApprovalSummary &approval) { return approvalCard(approval); })
{
    m_testButton->setToolTip(QStringLiteral("Ask the broker for a protected write with the selected app, so an approval appears here"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(this, QStringLiteral("tvn-approvals-heading"), QStringLiteral("Pending approvals")));
    layout->addWidget(FormWidgets::text(this, QStringLiteral("tvn-approvals-intro"),
                                        QStringLiteral("When an agent requests a risky write, it pauses here for your decision.")));
    layout->addWidget(m_testButton, 0, Qt::AlignLeft);
    layout->addLayout(m_cards.layout());

    connect(m_testButton, &QPushButton::clicked, model, [model] { model->requestProtectedWrite(); });
    connect(model, &AppModel::changed, this, &ApprovalsSection::render);
    render();
}

QString ApprovalsSection::requestText(const ApprovalSummary &approval)
{
    QStringList lines{QStringLiteral("Agent: ") + approval.agentId, QStringLiteral("App: ") + approval.connectorId,
                      QStringLiteral("Tool: ") + approval.toolId, QStringLiteral("Risk: ") + approval.risk,
                      QStringLiteral("Expires: ") + approval.expiresAt};
    if (approval.requestDigest)
        lines << QStringLiteral("Request digest: ") + *approval.requestDigest;
    const BrokerJSONValue::Object input = approval.displayInput.value_or(BrokerJSONValue::Object{});
    lines << (input.isEmpty() ? QStringLiteral("Input: none") : QStringLiteral("Input:"));
    for (auto it = input.begin(); it != input.end(); ++it)
        lines << QStringLiteral("  %1: %2").arg(it.key(), it.value().debugString());
    return lines.join(QLatin1Char('\n'));
}

void ApprovalsSection::render()
{
    const bool testing = m_model->context()->actions().contains(Approvals::protectedWriteActionKey);
    m_testButton->setEnabled(!testing && m_model->snapshot()->selectedConnector().has_value());
    QList<ApprovalSummary> shown;
    for (const ApprovalSummary &approval : m_model->snapshot()->approvals())
        shown.append(m_model->approvals()->reviewable(approval));
    m_cards.show(shown, m_model->runningActions());
}

QPlainTextEdit *ApprovalsSection::requestView(QWidget *card, const ApprovalSummary &approval)
{
    QPlainTextEdit *request = FormWidgets::textArea(card, QStringLiteral("tvn-approval-request"),
                                                    QStringLiteral("Request of approval ") + approval.id);
    request->setReadOnly(true);
    request->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    request->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    request->setPlainText(requestText(approval));
    // Short requests show whole (room for the digest to wrap); a long one scrolls inside the card.
    const int lines = std::min<qsizetype>(requestText(approval).count(QLatin1Char('\n')) + 4, maxRequestLines);
    request->setFixedHeight(request->fontMetrics().lineSpacing() * lines + 2 * request->frameWidth() + 8);
    return request;
}

QWidget *ApprovalsSection::approvalCard(const ApprovalSummary &approval)
{
    QFrame *card = FormWidgets::card(this, QStringLiteral("Approval ") + approval.id);
    QPlainTextEdit *request = requestView(card, approval);
    const bool mustLoad = m_model->approvals()->needsWholeRequest(approval);
    QPushButton *approve = FormWidgets::button(card, QStringLiteral("tvn-approval-approve"), QStringLiteral("Approve"));
    approve->setAccessibleName(QStringLiteral("Approve %1 for %2").arg(approval.toolId, approval.agentId));
    FormWidgets::setRole(approve, "primary");
    QPushButton *deny = FormWidgets::button(card, QStringLiteral("tvn-approval-deny"), QStringLiteral("Deny"));
    deny->setAccessibleName(QStringLiteral("Deny %1 for %2").arg(approval.toolId, approval.agentId));
    const bool deciding = m_cards.running().contains(Approvals::approveActionKey(approval))
        || m_cards.running().contains(Approvals::denyActionKey(approval));
    approve->setEnabled(!deciding && !mustLoad);
    deny->setEnabled(!deciding);
    auto *buttons = new QHBoxLayout;
    if (mustLoad) {
        approve->setToolTip(Approvals::wholeRequestNeededText);
        QPushButton *load = FormWidgets::button(card, QStringLiteral("tvn-approval-load"), QStringLiteral("Show whole request"));
        load->setAccessibleName(QStringLiteral("Show the whole request of %1 for %2").arg(approval.toolId, approval.agentId));
        load->setEnabled(!m_cards.running().contains(Approvals::loadActionKey(approval)));
        connect(load, &QPushButton::clicked, m_model, [model = m_model, approval] { model->approvals()->loadWholeRequest(approval); });
        buttons->addWidget(load);
    }
    buttons->addWidget(approve);
    buttons->addWidget(deny);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(card);
    layout->addWidget(request);
    layout->addLayout(buttons);
    connect(approve, &QPushButton::clicked, m_model, [model = m_model, approval] { model->approve(approval); });
    connect(deny, &QPushButton::clicked, m_model, [model = m_model, approval] { model->deny(approval); });
    return card;
}
