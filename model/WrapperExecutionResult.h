#pragma once

#include "WrapperCheckPayload.h"

#include <QString>

#include <optional>

// What one "--check" run left behind.
struct WrapperExecutionResult {
    std::optional<WrapperCheckPayload> payload;
    QString standardError;
    bool timedOut = false;
};
