#pragma once

#include "LocalServiceStatus.h"

// What a status object of the control script says, read the way supervision acts on it.
namespace LocalServiceStatusWords {

// "broker" is "listening" or "status" is "ready".
bool showsBrokerListening(const LocalServiceStatus &status);
// "status" or "broker" is "port_conflict".
bool showsPortConflict(const LocalServiceStatus &status);
// A genuine broker that is not this installation's: "stale_broker", "mismatch" or a false match flag.
bool showsStaleBroker(const LocalServiceStatus &status);
// "status" or "broker" is "start_failed".
bool showsStartFailed(const LocalServiceStatus &status);
// The script knows the service: an installed or loaded launch agent, or a definite status word.
bool showsServiceKnown(const LocalServiceStatus &status);
// No status could be read at all.
bool isUnavailable(const LocalServiceStatus &status);

} // namespace LocalServiceStatusWords
