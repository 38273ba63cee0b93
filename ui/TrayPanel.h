#pragma once

#include <QFrame>

class AppModel;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The small panel the tray icon opens: where the service stands, the pending approvals with
// Approve and Deny, the kill-switch control (with its inline confirmation for revoking every key)
// and the way back to the main window. Showing it starts a full refresh.
class TrayPanel : public QFrame
{
    Q_OBJECT

public:
    explicit TrayPanel(AppModel *model, QWidget *parent = nullptr);

    bool confirmKillSwitch() const { return m_confirmKillSwitch; }

Q_SIGNALS:
    void openMainWindowRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void render();
    void renderApprovals();
    void renderKillSwitchControl();
    QWidget *approvalRow(int index);
    void setConfirmKillSwitch(bool showing);
    void revokeAll();

    AppModel *m_model;
    bool m_confirmKillSwitch = false;
    bool m_wasActive = false;
    QLabel *m_title;
    QLabel *m_detail;
    QLabel *m_refreshing;
    QWidget *m_approvalRows;
    QVBoxLayout *m_approvalRowsLayout;
    QWidget *m_emptyState;
    QFrame *m_confirmation;
    QPushButton *m_disableKillSwitch;
    QPushButton *m_revokeAll;
    QPushButton *m_openMainWindow;
};
