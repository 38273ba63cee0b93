#include "RootSurfaceStartupPhase.h"

using Phase = RootSurfaceStartupPhase;

bool RootSurfaceStartupPhases::isWorking(RootSurfaceStartupPhase phase)
{
    return phase == Phase::installing || phase == Phase::starting || phase == Phase::waitingForBroker
        || phase == Phase::checkingKeychain;
}

bool RootSurfaceStartupPhases::isFailure(RootSurfaceStartupPhase phase)
{
    return phase == Phase::portConflict || phase == Phase::staleBroker || phase == Phase::startFailed
        || phase == Phase::timedOut || phase == Phase::failed;
}
