#pragma once

#include <QList>
#include <QWidget>

class AgentAppSetupRow;
class AppModel;
class QLabel;

// "Wire into your agent apps": every app of the catalog with its set-up, its snippet and the
// receipt of its last verification.
class AgentAppSetupCard : public QWidget
{
    Q_OBJECT

public:
    explicit AgentAppSetupCard(AppModel *model, QWidget *parent = nullptr);

private:
    void render();

    AppModel *m_model;
    QLabel *m_warning;
    QList<AgentAppSetupRow *> m_rows;
};
