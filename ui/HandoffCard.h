#pragma once

#include <QFrame>

class AgentHandoffVerificationReceipt;
class AppModel;
class QLabel;
class QPushButton;

// Home's handoff card: whether the active setup profile's handoff verified, its last receipt, and
// the way on: verify, copy the agent setup (only after a passing verification), manage keys.
class HandoffCard : public QFrame
{
    Q_OBJECT

public:
    explicit HandoffCard(AppModel *model, QWidget *parent = nullptr);

Q_SIGNALS:
    void manageKeysRequested();

private:
    void render();

    AppModel *m_model;
    QLabel *m_title;
    QLabel *m_detail;
    AgentHandoffVerificationReceipt *m_receipt;
    QPushButton *m_verifyButton;
    QPushButton *m_copyButton;
};
