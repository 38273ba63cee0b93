#pragma once

#include <QString>

class AppModel;

// What the tray icon and its panel say about the model: the status title and detail, the
// pending-approval count badge and the icon's accessible label.
struct MenuBarStatus {
    bool killSwitchActive = false;
    // Broker health ready and its identity verified.
    bool brokerReady = false;
    qsizetype activeAgentKeys = 0;
    qsizetype connectedAccounts = 0;
    qsizetype pendingApprovals = 0;
    // The operator is locked out: keys, apps and approvals are not loaded, so their counts say nothing.
    bool locked = false;

    static MenuBarStatus of(const AppModel &model);

    QString title() const;
    QString detail() const;
    // "" without pending approvals, "99+" above 99.
    QString countBadge() const;
    QString accessibilityLabel() const;
    // Which kill-switch control the panel offers.
    bool offersDisableKillSwitch() const { return killSwitchActive; }
    bool offersRevokeAll() const { return !killSwitchActive && brokerReady; }
};
