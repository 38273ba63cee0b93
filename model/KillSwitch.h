#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

class BrokerSnapshot;
class ModelContext;

// The emergency controls: the kill switch that pauses every agent call, and the emergency revoke
// that engages it and then revokes every active agent key, one after another.
class KillSwitch : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool killSwitchConfirmationRequested READ killSwitchConfirmationRequested WRITE
                   setKillSwitchConfirmationRequested NOTIFY killSwitchChanged)
    Q_PROPERTY(bool killSwitchActive READ killSwitchActive NOTIFY killSwitchChanged)

public:
    static const QString emergencyRevokeActionKey;
    static const QString emergencyRevokeConfirmationTitle;
    static const QString emergencyRevokeConfirmationText;
    static const QString pausedText;

    KillSwitch(ModelContext &context, BrokerSnapshot &snapshot, QObject *parent = nullptr);

    // A view sets this while it asks the user to confirm turning the switch on.
    bool killSwitchConfirmationRequested() const { return m_confirmationRequested; }
    void setKillSwitchConfirmationRequested(bool requested);
    bool killSwitchActive() const { return m_active; }

    QCoro::Task<> setKillSwitch(bool enabled);
    QCoro::Task<> emergencyRevokeAllAgentKeys();
    // Reads the broker's switch, so a switch turned on earlier (another session, a restart of
    // the app) shows as on. Only with an unlocked operator; a failure changes nothing.
    QCoro::Task<> loadKillSwitchState();

Q_SIGNALS:
    void killSwitchChanged();

private:
    void setActive(bool active);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    bool m_confirmationRequested = false;
    bool m_active = false;
};
