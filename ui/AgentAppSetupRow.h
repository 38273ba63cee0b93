#pragma once

#include "AgentClientDescriptor.h"

#include <QWidget>

class AgentHandoff;
class AgentHandoffVerificationReceipt;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// One agent app of the catalog: where its config lives, its notes, "Set up" (the broker writes
// the entry, then the handoff is verified), "Copy setup" (its snippet, copied only after the
// handoff verified), the snippet itself on request, and the receipt of the last set-up.
class AgentAppSetupRow : public QWidget
{
    Q_OBJECT

public:
    AgentAppSetupRow(AgentHandoff *handoff, AgentClientDescriptor client, QWidget *parent = nullptr);

    // Re-reads the row's state from the model.
    void render(bool working);

    // The set-up button's title for its state.
    static QString setUpTitle(AgentHandoff &handoff, const AgentClientDescriptor &client, bool working);

private:
    void setUp();
    void copySetup();
    void toggleSnippet();

    AgentHandoff *m_handoff;
    AgentClientDescriptor m_client;
    QPushButton *m_setUpButton;
    QPushButton *m_copyButton;
    QPushButton *m_snippetButton;
    QPlainTextEdit *m_snippet;
    QLabel *m_resultLabel;
    AgentHandoffVerificationReceipt *m_receipt;
};
