#pragma once

#include "LocalServiceControlError.h"
#include "LocalServiceStatus.h"

#include <optional>

// One service command's result as a value: the printed status, or the error that stopped it.
struct LocalServiceCommandOutcome {
    std::optional<LocalServiceStatus> status;
    std::optional<LocalServiceControlError> error;

    bool timedOut() const { return error && error->kind() == LocalServiceControlError::Kind::timedOut; }
};
