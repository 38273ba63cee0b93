#include "DashboardFallbackChoice.h"

#include "AppModel.h"

DashboardFallbackChoice DashboardFallbackChoices::choose(const AppModel &model)
{
    const QString vault = model.snapshot()->vaultStatus().trimmed().toLower();
    if (BrokerSnapshot::isUnconfiguredVaultWord(vault))
        return DashboardFallbackChoice::vaultSetup;
    if (model.operatorSession()->operatorPassphraseRequired() || model.snapshot()->operatorLocked())
        return DashboardFallbackChoice::operatorUnlock;
    if (vault == QLatin1StringView("locked"))
        return DashboardFallbackChoice::vaultUnlock;
    return DashboardFallbackChoice::none;
}
