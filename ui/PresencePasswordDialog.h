#pragma once

#include <QDialog>

class PresencePrompt;
class QLabel;
class QLineEdit;

// The app's own password dialog for the system login check: it opens whenever the presence
// prompt waits for an answer and hands the typed password straight back to it, never keeping it.
class PresencePasswordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PresencePasswordDialog(PresencePrompt *prompt, QWidget *parent = nullptr);

private:
    void follow();
    void answer();

    PresencePrompt *m_prompt;
    QLabel *m_reasonLabel;
    QLabel *m_messagesLabel;
    QLineEdit *m_passwordField;
};
