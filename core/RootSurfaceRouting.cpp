#include "RootSurfaceRouting.h"

using Phase = RootSurfaceStartupPhase;

RootSurface RootSurfaceRouting::select(const Facts &facts)
{
    const Phase phase = facts.localServicePhase;
    if (RootSurfaceStartupPhases::isFailure(phase) || (facts.localServiceRepairRequired && facts.serviceInstalled))
        return RootSurface::nativeShell;
    if (facts.brokerReady)
        return facts.webViewLoadFailed ? RootSurface::webFallback : RootSurface::dashboard;
    if (facts.webViewLoadFailed)
        return RootSurface::webFallback;
    if (phase == Phase::needsApproval)
        return RootSurface::firstRunWelcome;
    if (facts.serviceLaunchAgentLoaded && facts.serviceBrokerListening)
        return RootSurface::dashboard;
    // A loaded service whose broker stays offline past the grace period needs the repair controls.
    const bool starting = phase == Phase::starting || phase == Phase::waitingForBroker;
    if (starting && facts.serviceInstalled && facts.serviceLaunchAgentLoaded && !facts.serviceBrokerListening
        && facts.startupElapsedSeconds >= facts.brokerOfflineGraceSeconds)
        return RootSurface::nativeShell;
    return RootSurfaceStartupPhases::isWorking(phase) ? RootSurface::splash : RootSurface::firstRunWelcome;
}

bool RootSurfaceRouting::serviceReadyForDashboardHandoff(const HandoffFacts &facts)
{
    if (facts.statusIsPortConflict || facts.statusIsStaleBroker || facts.statusIsStartFailed)
        return false;
    if (facts.statusIsUnavailable && !facts.brokerListeningObserved)
        return false;
    if (facts.statusListening)
        return true;
    return facts.brokerListeningObserved;
}
