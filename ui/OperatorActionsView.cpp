#include "OperatorActionsView.h"

#include "AgentKeysSection.h"
#include "AppModel.h"
#include "ApprovalsSection.h"
#include "AuditLogSection.h"
#include "BackupSection.h"
#include "ConnectAppSection.h"
#include "EmergencyControlsSection.h"
#include "FormWidgets.h"

#include <QFrame>
#include <QVBoxLayout>

OperatorActionsView::OperatorActionsView(AppModel *model, QWidget *parent) : QScrollArea(parent), m_model(model)
{
    setObjectName(QStringLiteral("tvn-operator-actions"));
    setAccessibleName(QStringLiteral("Operator actions"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setStyleSheet(QStringLiteral("QScrollBar:vertical { background: #101214; width: 10px; }"
                                 "QScrollBar::handle:vertical { background: #30363d; border-radius: 5px; min-height: 24px; }"
                                 "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"));

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("tvn-operator-actions-content"));
    content->setStyleSheet(FormWidgets::style + QStringLiteral("QWidget#tvn-operator-actions-content { background: #101214; }"));
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(48, 8, 48, 24);
    layout->setSpacing(14);
    const QList<std::pair<QString, QWidget *>> sections{
        {QStringLiteral("Connect an app"), new ConnectAppSection(model, content)},
        {QStringLiteral("Agent keys"), new AgentKeysSection(model, content)},
        {QStringLiteral("Pending approvals"), new ApprovalsSection(model, content)},
        {QStringLiteral("Emergency controls"), new EmergencyControlsSection(model, content)},
        {QStringLiteral("Backup"), new BackupSection(model, content)},
        {QStringLiteral("Audit"), new AuditLogSection(model, content)}};
    for (const auto &[name, section] : sections) {
        QFrame *card = FormWidgets::card(content, name);
        auto *cardLayout = new QVBoxLayout(card);
        cardLayout->setContentsMargins(16, 14, 16, 14);
        cardLayout->addWidget(section);
        layout->addWidget(card);
    }
    layout->addStretch();
    setWidget(content);

    connect(model, &AppModel::changed, this, &OperatorActionsView::render);
    render();
}

bool OperatorActionsView::vaultOpen(const AppModel &model)
{
    const QString vault = model.snapshot()->vaultStatus().trimmed().toLower();
    return model.supervision()->brokerReadyAndVerified() && model.snapshot()->operatorUnlocked()
        && !model.operatorSession()->operatorPassphraseRequired() && vault != QLatin1StringView("unconfigured")
        && vault != QLatin1StringView("locked");
}

void OperatorActionsView::render()
{
    setVisible(vaultOpen(*m_model));
}
