#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The two lanes never share a label, port, state, log directory or keychain service,
// so a development build and an installed release can run side by side.
enum class TVNRuntimeLane : std::uint8_t {
    development = 0,
    production = 1,
};

namespace TVNRuntimeLanes {

QString rawValue(TVNRuntimeLane lane);
// Exactly "development" or "production" (case-sensitive); anything else is no lane.
std::optional<TVNRuntimeLane> fromRawValue(const QString &raw);

} // namespace TVNRuntimeLanes
