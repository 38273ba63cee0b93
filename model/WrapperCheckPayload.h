#pragma once

#include <QString>

#include <optional>

// The one JSON object the wrapper prints under "--check". Every key is optional; unknown keys
// are ignored.
struct WrapperCheckPayload {
    std::optional<bool> present;
    std::optional<bool> brokerAccepted;
    std::optional<QString> status;
    std::optional<QString> reason;
    std::optional<QString> hint;

    // Standard output trimmed at both ends must be exactly one such object (log lines or a second
    // object mean none); a key of the wrong type means none too.
    static std::optional<WrapperCheckPayload> parse(const QString &standardOutput);

    bool passed() const { return present == true && brokerAccepted == true; }

    bool operator==(const WrapperCheckPayload &) const = default;
};
