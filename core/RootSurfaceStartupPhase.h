#pragma once

// The start phase of the local service as the root surface choice sees it: the same cases as the
// supervision's phase, without the text a failure carries.
enum class RootSurfaceStartupPhase {
    idle,
    installing,
    starting,
    waitingForBroker,
    checkingKeychain,
    ready,
    needsApproval,
    portConflict,
    staleBroker,
    startFailed,
    timedOut,
    failed,
};

namespace RootSurfaceStartupPhases {
// `installing` to `checkingKeychain`.
bool isWorking(RootSurfaceStartupPhase phase);
// `portConflict`, `staleBroker`, `startFailed`, `timedOut` or `failed`.
bool isFailure(RootSurfaceStartupPhase phase);
} // namespace RootSurfaceStartupPhases
