#include "AgentAppSetupRow.h"

#include "AgentHandoff.h"
#include "AgentHandoffVerificationReceipt.h"
#include "FormWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

AgentAppSetupRow::AgentAppSetupRow(AgentHandoff *handoff, AgentClientDescriptor client, QWidget *parent)
    : QWidget(parent)
    , m_handoff(handoff)
    , m_client(std::move(client))
    , m_setUpButton(new QPushButton(this))
    , m_copyButton(new QPushButton(QStringLiteral("Copy setup"), this))
    , m_snippetButton(new QPushButton(QStringLiteral("Show snippet"), this))
    , m_snippet(new QPlainTextEdit(this))
    , m_resultLabel(FormWidgets::text(this, QStringLiteral("setUpResult-") + m_client.id))
    , m_receipt(new AgentHandoffVerificationReceipt(this))
{
    setObjectName(QStringLiteral("agentApp-") + m_client.id);
    setAccessibleName(m_client.label);
    m_setUpButton->setObjectName(QStringLiteral("setUp-") + m_client.id);
    m_setUpButton->setToolTip(QStringLiteral("Write TVN MCP config into %1, then verify the local wrapper and broker").arg(m_client.label));
    m_copyButton->setObjectName(QStringLiteral("copySetup-") + m_client.id);
    m_copyButton->setToolTip(QStringLiteral("Verify the handoff, then copy the snippet to paste in %1's settings").arg(m_client.label));
    m_snippetButton->setObjectName(QStringLiteral("showSnippet-") + m_client.id);
    m_snippetButton->setToolTip(QStringLiteral("Show the JSON snippet to paste in %1's settings").arg(m_client.label));
    m_snippet->setObjectName(QStringLiteral("snippet-") + m_client.id);
    m_snippet->setReadOnly(true);
    m_snippet->setVisible(false);
    m_snippet->setMinimumHeight(160);
    m_resultLabel->setVisible(false);
    // Each row repeats the same buttons: the app's name tells them apart for assistive tools.
    m_setUpButton->setAccessibleName(QStringLiteral("Set up ") + m_client.label);
    m_copyButton->setAccessibleName(QStringLiteral("Copy setup for ") + m_client.label);
    m_snippetButton->setAccessibleName(QStringLiteral("Show snippet for ") + m_client.label);
    m_snippet->setAccessibleName(QStringLiteral("Setup snippet for ") + m_client.label);

    auto *heading = new QHBoxLayout;
    auto *names = new QVBoxLayout;
    QLabel *label = FormWidgets::text(this, QStringLiteral("appLabel-") + m_client.id, m_client.label);
    FormWidgets::setRole(label, "title");
    QLabel *location = FormWidgets::text(this, QStringLiteral("appLocation-") + m_client.id, m_client.locationText());
    FormWidgets::setRole(location, "note");
    QLabel *notes = FormWidgets::text(this, QStringLiteral("appNotes-") + m_client.id, m_client.notes.join(QLatin1Char('\n')));
    FormWidgets::setRole(notes, "note");
    names->addWidget(label);
    names->addWidget(location);
    heading->addLayout(names, 1);
    for (QPushButton *button : {m_setUpButton, m_copyButton, m_snippetButton})
        heading->addWidget(button);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 6);
    layout->setSpacing(4);
    layout->addLayout(heading);
    layout->addWidget(notes);
    layout->addWidget(m_snippet);
    layout->addWidget(m_resultLabel);
    layout->addWidget(m_receipt);

    connect(m_setUpButton, &QPushButton::clicked, this, &AgentAppSetupRow::setUp);
    connect(m_copyButton, &QPushButton::clicked, this, &AgentAppSetupRow::copySetup);
    connect(m_snippetButton, &QPushButton::clicked, this, &AgentAppSetupRow::toggleSnippet);
}

QString AgentAppSetupRow::setUpTitle(AgentHandoff &handoff, const AgentClientDescriptor &client, bool working)
{
    if (working)
        return QStringLiteral("Checking");
    const std::optional<AgentClientSetupResult> result = handoff.setupResult(client.id);
    if (!result)
        return QStringLiteral("Set up");
    if (result->isError)
        return QStringLiteral("Failed");
    return result->verification && result->verification->allPassed() ? QStringLiteral("Verified") : QStringLiteral("Review");
}

void AgentAppSetupRow::render(bool working)
{
    m_setUpButton->setText(setUpTitle(*m_handoff, m_client, working));
    const std::optional<AgentClientSetupResult> result = m_handoff->setupResult(m_client.id);
    const bool receipt = result && result->verification;
    m_receipt->show(receipt ? result->verification : std::nullopt, true);
    m_resultLabel->setVisible(result && !receipt);
    if (result && !receipt) {
        m_resultLabel->setText((result->isError ? QStringLiteral("⚠ ") : QStringLiteral("✓ ")) + result->message);
        FormWidgets::setRole(m_resultLabel, result->isError ? "error" : "ok");
    }
    if (m_snippet->isVisible())
        m_snippet->setPlainText(m_handoff->renderSnippet(m_client));
}

void AgentAppSetupRow::setUp()
{
    m_handoff->setUpAgentApp(m_client);
}

void AgentAppSetupRow::copySetup()
{
    m_handoff->copyAgentSnippetIfVerified(m_client);
}

void AgentAppSetupRow::toggleSnippet()
{
    const bool show = !m_snippet->isVisible();
    m_snippet->setPlainText(show ? m_handoff->renderSnippet(m_client) : QString());
    m_snippet->setVisible(show);
    m_snippetButton->setText(show ? QStringLiteral("Hide snippet") : QStringLiteral("Show snippet"));
}
