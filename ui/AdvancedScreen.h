#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;

// Advanced: approvals, the local posture with its service controls, the local vault's unlock,
// backup, audit and the emergency controls, in that order.
class AdvancedScreen : public QWidget
{
    Q_OBJECT

public:
    explicit AdvancedScreen(AppModel *model, QWidget *parent = nullptr);

Q_SIGNALS:
    // "Open local dashboard": the shell opens the broker's page in the default browser.
    void openDashboardRequested();

private:
    QWidget *postureSection();
    QWidget *vaultSection();
    void render();

    AppModel *m_model;
    QLabel *m_postureLabel;
    QLabel *m_vaultLabel;
    QPushButton *m_sealedButton;
    QPushButton *m_stopButton;
};
