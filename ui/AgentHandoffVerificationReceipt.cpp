#include "AgentHandoffVerificationReceipt.h"

#include "AgentHandoffVerificationReport.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {
QLabel *plainLabel(QWidget *parent, const QString &objectName, const char *role)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setProperty("role", role);
    return label;
}

QString factsText(const AgentHandoffVerificationReport &report, bool showConfigPath)
{
    QStringList facts{QStringLiteral("Profile: ") + report.profile, QStringLiteral("Broker: ") + report.brokerURL,
                      QStringLiteral("Wrapper: ") + report.wrapperCommand, QStringLiteral("Vault: ") + report.profilePath};
    if (showConfigPath && report.configPath)
        facts.append(QStringLiteral("Config: ") + *report.configPath);
    return facts.join(QLatin1Char('\n'));
}

void clear(QVBoxLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}
} // namespace

AgentHandoffVerificationReceipt::AgentHandoffVerificationReceipt(QWidget *parent)
    : QWidget(parent)
    , m_headline(plainLabel(this, QStringLiteral("receiptHeadline"), "title"))
    , m_facts(plainLabel(this, QStringLiteral("receiptFacts"), "note"))
    , m_steps(new QVBoxLayout)
{
    setObjectName(QStringLiteral("agentHandoffReceipt"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(4);
    layout->addWidget(m_headline);
    layout->addWidget(m_facts);
    m_steps->setSpacing(2);
    layout->addLayout(m_steps);
    setVisible(false);
}

void AgentHandoffVerificationReceipt::show(const std::optional<AgentHandoffVerificationReport> &report, bool showConfigPath)
{
    setVisible(report.has_value());
    const std::optional<QUuid> shown = report ? std::optional<QUuid>(report->id) : std::nullopt;
    if (shown == m_shown)
        return;
    m_shown = shown;
    clear(m_steps);
    if (!report)
        return;
    const bool passed = report->allPassed();
    m_headline->setText(passed ? QStringLiteral("✓ Handoff verified") : QStringLiteral("⚠ Handoff needs attention"));
    m_headline->setProperty("role", passed ? "ok" : "warning");
    m_headline->setStyleSheet(QString()); // re-applies the role's style
    m_facts->setText(factsText(*report, showConfigPath));
    for (const AgentHandoffVerificationStep &step : report->steps) {
        QLabel *line = plainLabel(this, QStringLiteral("receiptStep-") + AgentHandoffVerificationStep::rawValue(step.kind),
                                  step.ok ? "ok" : "error");
        line->setText((step.ok ? QStringLiteral("✓ ") : QStringLiteral("✗ ")) + step.title + QStringLiteral(" — ") + step.detail);
        m_steps->addWidget(line);
        line->setVisible(true); // a child added to a widget on screen is hidden until told
    }
}
