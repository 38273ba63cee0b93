#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;

// The first-run welcome: what Torvane does, how it works, and the one button that turns the
// local service on once the user confirms.
class FirstRunWelcomeView : public QWidget
{
    Q_OBJECT

public:
    explicit FirstRunWelcomeView(AppModel *model, QWidget *parent = nullptr);

    QPushButton *turnOnButton() const { return m_turnOnButton; }

private:
    void render();
    void askToTurnOn();

    AppModel *m_model;
    QPushButton *m_turnOnButton;
    QLabel *m_phaseLabel;
};
