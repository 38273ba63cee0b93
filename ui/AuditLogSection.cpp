#include "AuditLogSection.h"

#include "AppModel.h"
#include "FormWidgets.h"

#include <QLabel>

#include <QPlainTextEdit>
#include <QVBoxLayout>

AuditLogSection::AuditLogSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_events(FormWidgets::textArea(this, QStringLiteral("tvn-audit-events"), QStringLiteral("Audit events")))
{
    m_events->setReadOnly(true);
    m_events->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_events->setMinimumHeight(140);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(this, QStringLiteral("tvn-audit-heading"), QStringLiteral("Audit")));
    layout->addWidget(FormWidgets::text(this, QStringLiteral("tvn-audit-intro"),
                                        QStringLiteral("Broker decisions appear here as a tamper-evident chain.")));
    layout->addWidget(m_events);
    connect(model, &AppModel::changed, this, &AuditLogSection::render);
    render();
}

QString AuditLogSection::eventLine(const AuditEvent &event)
{
    QStringList parts{QString::number(event.sequence), event.timestamp, event.actor, event.action};
    if (event.connectorId)
        parts << *event.connectorId;
    parts << event.decision;
    return parts.join(QStringLiteral(" · "));
}

void AuditLogSection::render()
{
    const QList<AuditEvent> events = m_model->snapshot()->auditEvents();
    if (events == m_shownEvents)
        return;
    m_shownEvents = events;
    QStringList lines;
    for (const AuditEvent &event : events)
        lines << eventLine(event);
    m_events->setPlainText(lines.isEmpty() ? QStringLiteral("No audit events yet.") : lines.join(QLatin1Char('\n')));
}
