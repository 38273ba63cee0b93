#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;

// The kill switch behind its confirmation, and the revoke of every agent key behind its own.
class EmergencyControlsSection : public QWidget
{
    Q_OBJECT

public:
    explicit EmergencyControlsSection(AppModel *model, QWidget *parent = nullptr);

private:
    void render();
    void toggleKillSwitch();
    void revokeAll();

    AppModel *m_model;
    QLabel *m_stateLabel;
    QPushButton *m_killSwitchButton;
    QPushButton *m_revokeAllButton;
};
