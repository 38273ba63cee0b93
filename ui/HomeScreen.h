#pragma once

#include "SidebarItem.h"

#include <QWidget>

class AppModel;
class NativeOperatorUnlockFallback;
class NativeVaultSecurityFallback;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class ServiceStatusView;

// Home: the next setup action with its explanation, the setup steps, the service card while the
// service needs attention, the vault's password or unlock form while it is locked, the counts,
// and the cards that summarise apps, keys and activity.
class HomeScreen : public QWidget
{
    Q_OBJECT

public:
    explicit HomeScreen(AppModel *model, QWidget *parent = nullptr);

    QPushButton *heroButton() const { return m_heroButton; }
    // The hero's title and text for the state the model is in.
    QString heroTitle() const;
    QString heroText() const;

Q_SIGNALS:
    // The hero's step lives on another screen (connect an app, make a key, verify the handoff).
    void navigationRequested(const SidebarItem &item);

private:
    enum class HeroAction { turnOn, repair, checkAgain, unlock, connectApp, makeKey, verify, copySetup };
    HeroAction heroAction() const;
    void runHeroAction();
    void render();
    void renderSteps();
    void renderStats();
    void renderVaultForm();
    void renderCards();
    QFrame *statTile(const QString &objectName, QLabel **valueLabel, QLabel **nameLabel);

    AppModel *m_model;
    QLabel *m_heroTitle;
    QLabel *m_heroText;
    QPushButton *m_heroButton;
    QHBoxLayout *m_steps;
    ServiceStatusView *m_serviceCard;
    QFrame *m_recoveryCard;
    NativeVaultSecurityFallback *m_vaultForm;
    NativeOperatorUnlockFallback *m_unlockForm;
    QLabel *m_appsValue;
    QLabel *m_appsName;
    QLabel *m_keysValue;
    QLabel *m_keysName;
    QLabel *m_approvalsValue;
    QLabel *m_approvalsName;
    QLabel *m_auditValue;
    QLabel *m_auditName;
    QVBoxLayout *m_appsCard;
    QVBoxLayout *m_keysCard;
    QVBoxLayout *m_activityCard;
    QString m_shownCards;
};
