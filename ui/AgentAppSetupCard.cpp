#include "AgentAppSetupCard.h"

#include "AgentAppSetupRow.h"
#include "AppModel.h"
#include "FormWidgets.h"

#include <QLabel>
#include <QVBoxLayout>

#include <tuple>

AgentAppSetupCard::AgentAppSetupCard(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_warning(FormWidgets::text(this, QStringLiteral("agentAppsWarning"),
                                  QStringLiteral("⚠ Finish setup on Home first, then wire these apps.")))
{
    setObjectName(QStringLiteral("agentAppSetupCard"));
    setAccessibleName(QStringLiteral("Wire into your agent apps"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const QList<std::tuple<const char *, QString, const char *>> texts{
        {"agentAppsTitle", QStringLiteral("Wire into your agent apps"), "title"},
        {"agentAppsSubtitle", QStringLiteral("1-click MCP config — no key embedded"), "note"},
        {"agentAppsExplanation",
         QStringLiteral("Each button writes TVN as an MCP server in that app's config. Your real provider keys and your TVN "
                        "key are never written there — the wrapper reads them from the local vault at runtime."),
         "note"},
    };
    for (const auto &[name, text, role] : texts) {
        QLabel *label = FormWidgets::text(this, QLatin1String(name), text);
        FormWidgets::setRole(label, role);
        layout->addWidget(label);
    }
    FormWidgets::setRole(m_warning, "warning");
    layout->addWidget(m_warning);
    for (const AgentClientDescriptor &client : AgentClientDescriptor::all()) {
        auto *row = new AgentAppSetupRow(model->agentHandoff(), client, this);
        m_rows.append(row);
        layout->addWidget(row);
    }
    layout->addStretch();
    connect(model, &AppModel::changed, this, &AgentAppSetupCard::render);
    render();
}

void AgentAppSetupCard::render()
{
    m_warning->setVisible(!(m_model->agentHandoffBaseReady() && m_model->agentHandoffVerified()));
    const QStringList running = m_model->runningActions();
    for (int index = 0; index < m_rows.size(); ++index) {
        const AgentClientDescriptor &client = AgentClientDescriptor::all().at(index);
        m_rows.at(index)->render(running.contains(AgentHandoff::setUpActionKey(client)));
    }
}
