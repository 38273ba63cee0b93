#pragma once

#include <QString>

#include <optional>

// What the code signature of one process says. On Linux nothing is signed: readers report
// `isSigned` false and the executable path only.
struct BrokerPeerSigningInfo {
    bool isSigned = false;
    bool isAppleAnchored = false;
    std::optional<QString> teamID; // an empty team is stored as absent
    bool isAdHoc = false;
    bool isHardenedRuntime = false;
    bool isPlatformBinary = false;
    std::optional<QString> executablePath;
    std::optional<QString> cdHash; // lower-case hexadecimal

    // Signed, anchored, not ad hoc, with a team identifier.
    bool isDeveloperIdentitySigned() const;

    bool operator==(const BrokerPeerSigningInfo &) const = default;
};
