#include "AgentHandoffVerificationReceipt.h"

#include "AgentHandoffVerificationReport.h"
#include "FormWidgets.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {
QString factsText(const AgentHandoffVerificationReport &report, bool showConfigPath)
{
    QStringList facts{QStringLiteral("Profile: ") + report.profile, QStringLiteral("Broker: ") + report.brokerURL,
                      QStringLiteral("Wrapper: ") + report.wrapperCommand, QStringLiteral("Vault: ") + report.profilePath};
    if (showConfigPath && report.configPath)
        facts.append(QStringLiteral("Config: ") + *report.configPath);
    return facts.join(QLatin1Char('\n'));
}

} // namespace

AgentHandoffVerificationReceipt::AgentHandoffVerificationReceipt(QWidget *parent)
    : QWidget(parent)
    , m_headline(FormWidgets::text(this, QStringLiteral("receiptHeadline")))
    , m_facts(FormWidgets::text(this, QStringLiteral("receiptFacts")))
    , m_steps(new QVBoxLayout)
{
    setObjectName(QStringLiteral("agentHandoffReceipt"));
    FormWidgets::setRole(m_facts, "note");
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
    FormWidgets::clear(m_steps);
    if (!report)
        return;
    const bool passed = report->allPassed();
    m_headline->setText(passed ? QStringLiteral("✓ Handoff verified") : QStringLiteral("⚠ Handoff needs attention"));
    FormWidgets::setRole(m_headline, passed ? "ok" : "warning");
    m_facts->setText(factsText(*report, showConfigPath));
    for (const AgentHandoffVerificationStep &step : report->steps) {
        QLabel *line = FormWidgets::text(this, QStringLiteral("receiptStep-") + AgentHandoffVerificationStep::rawValue(step.kind));
        FormWidgets::setRole(line, step.ok ? "ok" : "error");
        line->setText((step.ok ? QStringLiteral("✓ ") : QStringLiteral("✗ ")) + step.title + QStringLiteral(" — ") + step.detail);
        m_steps->addWidget(line);
        line->setVisible(true); // a child added to a widget on screen is hidden until told
    }
}
