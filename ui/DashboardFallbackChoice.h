#pragma once

class AppModel;

// Which native screen stands in for the dashboard once the page asked the app to unlock: the
// vault password setup, the operator unlock, the vault password unlock, or none (the dashboard
// can show again).
enum class DashboardFallbackChoice { none, vaultSetup, operatorUnlock, vaultUnlock };

namespace DashboardFallbackChoices {
DashboardFallbackChoice choose(const AppModel &model);
}
