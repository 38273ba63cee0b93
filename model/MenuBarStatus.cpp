#include "MenuBarStatus.h"

#include "AppModel.h"

namespace {
// "1 agent key", "2 agent keys", "0 agent keys".
QString counted(qsizetype count, const QString &noun)
{
    return QString::number(count) + QLatin1Char(' ') + noun + (count == 1 ? QString() : QStringLiteral("s"));
}
} // namespace

MenuBarStatus MenuBarStatus::of(const AppModel &model)
{
    MenuBarStatus status;
    status.killSwitchActive = model.killSwitch()->killSwitchActive();
    status.brokerReady = model.supervision()->brokerHealthReady() && model.brokerIdentityVerified();
    status.activeAgentKeys = model.snapshot()->activeMasterKeysCount();
    status.connectedAccounts = model.snapshot()->connectedAccountsCount();
    status.pendingApprovals = model.snapshot()->approvals().size();
    status.locked = !model.snapshot()->operatorUnlocked();
    return status;
}

QString MenuBarStatus::title() const
{
    if (killSwitchActive)
        return QStringLiteral("Kill switch engaged");
    return brokerReady ? QStringLiteral("Torvane is on") : QStringLiteral("Service off");
}

QString MenuBarStatus::detail() const
{
    if (killSwitchActive)
        return QStringLiteral("All agent access is paused. Click Disable kill switch to restore.");
    if (brokerReady && locked)
        return QStringLiteral("Vault locked · unlock it in the main window to see keys and approvals");
    if (brokerReady)
        return counted(activeAgentKeys, QStringLiteral("agent key")) + QStringLiteral(" · ")
            + counted(connectedAccounts, QStringLiteral("app")) + QStringLiteral(" connected");
    return QStringLiteral("Turn on Torvane from the main window");
}

QString MenuBarStatus::countBadge() const
{
    if (pendingApprovals <= 0)
        return {};
    return pendingApprovals > 99 ? QStringLiteral("99+") : QString::number(pendingApprovals);
}

QString MenuBarStatus::accessibilityLabel() const
{
    QString label = QStringLiteral("Torvane");
    if (killSwitchActive)
        label += QStringLiteral(", Kill switch engaged");
    if (pendingApprovals > 0)
        label += QStringLiteral(", ") + counted(pendingApprovals, QStringLiteral("pending approval"));
    return label;
}
