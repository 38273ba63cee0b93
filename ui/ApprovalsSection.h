#pragma once

#include "ApprovalSummary.h"
#include "RecordRows.h"

#include <QWidget>

class AppModel;
class QPlainTextEdit;
class QPushButton;

// Pending approvals, each with the whole request it would run (agent, app, tool, risk, expiry,
// digest and every input value; one the list shows cut is loaded whole before it can be
// approved) and its approve and deny buttons; and the risky-write test that
// makes one appear.
class ApprovalsSection : public QWidget
{
    Q_OBJECT

public:
    explicit ApprovalsSection(AppModel *model, QWidget *parent = nullptr);

    // The request as the approval card shows it, one line per fact and input value.
    static QString requestText(const ApprovalSummary &approval);

private:
    void render();
    QWidget *approvalCard(const ApprovalSummary &approval);
    QPlainTextEdit *requestView(QWidget *card, const ApprovalSummary &approval);

    static constexpr qsizetype maxRequestLines = 16;

    AppModel *m_model;
    QPushButton *m_testButton;
    RecordRows<ApprovalSummary> m_cards;
};
