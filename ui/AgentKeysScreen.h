#pragma once

#include <QWidget>

class AgentAppSetupCard;
class AgentKeysSection;
class AppModel;
class QLabel;

// Agent Keys: the creation form, the one-time key, every active key and the agent apps to wire
// them into, behind the gate texts while the service is off or the vault is locked.
class AgentKeysScreen : public QWidget
{
    Q_OBJECT

public:
    explicit AgentKeysScreen(AppModel *model, QWidget *parent = nullptr);

    QString gateText() const;

private:
    void render();

    AppModel *m_model;
    QLabel *m_gateLabel;
    AgentKeysSection *m_section;
    AgentAppSetupCard *m_agentApps;
};
