#pragma once

#include "HardwareKeyError.h"

#include <optional>

// Whether a hardware key store answers. `inaccessible` means one is there but this user may not
// use it; callers must not treat that like a machine without one. `reason` says why it is not
// available (its text says how to fix a permission problem).
struct HardwareKeyAvailability
{
    enum class State { available, absent, inaccessible };

    State state = State::absent;
    std::optional<HardwareKeyError> reason;

    bool isAvailable() const { return state == State::available; }
};
