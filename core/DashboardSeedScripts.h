#pragma once

#include <QString>

// The scripts that seed the dashboard page with the operator session and the first-run flag
// before its own scripts run, and re-seed it in place when either changes.
namespace DashboardSeedScripts {

inline constexpr QLatin1StringView sessionStorageKey{"torvane.operator-session"};
inline constexpr QLatin1StringView firstRunStorageKey{"torvane.first-run-complete"};

QString sessionSeedScript(const QString &sessionId);
QString firstRunCompletionSeedScript(bool completed);
// Both seeds, then the two events the page listens for.
QString dashboardUpdateScript(const QString &sessionId, bool firstRunCompleted);
// Tells the page how an action it asked for ended ("tvn-native-action-finished").
QString actionFinishedScript(const QString &type, bool ok, const QString &message);

// `text` as a JavaScript string literal ("''" when it cannot be encoded).
QString javaScriptStringLiteral(const QString &text);

} // namespace DashboardSeedScripts
