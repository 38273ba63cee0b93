#include "LocalServiceStatusWords.h"

namespace LocalServiceStatusWords {

namespace {
bool eitherWordIs(const LocalServiceStatus &status, QLatin1StringView word)
{
    return status.status == word || status.broker == word;
}
} // namespace

bool showsBrokerListening(const LocalServiceStatus &status)
{
    return status.broker == QLatin1StringView("listening") || status.status == QLatin1StringView("ready");
}

bool showsPortConflict(const LocalServiceStatus &status)
{
    return eitherWordIs(status, QLatin1StringView("port_conflict"));
}

bool showsStaleBroker(const LocalServiceStatus &status)
{
    return status.status == QLatin1StringView("stale_broker") || status.broker == QLatin1StringView("mismatch")
        || status.brokerMatchesInstall == false;
}

bool showsStartFailed(const LocalServiceStatus &status)
{
    return eitherWordIs(status, QLatin1StringView("start_failed"));
}

bool showsServiceKnown(const LocalServiceStatus &status)
{
    static const QStringList knownStatuses = {
        QStringLiteral("ready"),        QStringLiteral("installed"),     QStringLiteral("start_failed"),
        QStringLiteral("stale_broker"), QStringLiteral("port_conflict"),
    };
    return knownStatuses.contains(status.status) || status.launchAgent == QLatin1StringView("loaded")
        || status.launchAgent == QLatin1StringView("installed");
}

bool isUnavailable(const LocalServiceStatus &status)
{
    return status.status == QLatin1StringView("unavailable");
}

} // namespace LocalServiceStatusWords
