#pragma once

#include "RootSurface.h"
#include "RootSurfaceStartupPhase.h"

// Which root surface the main window shows, as a pure function of a few service and broker facts,
// and whether the service is far enough along for the dashboard to take over from the splash.
class RootSurfaceRouting
{
public:
    struct Facts {
        // Broker health ready and its identity verified.
        bool brokerReady = false;
        bool webViewLoadFailed = false;
        bool localServiceRepairRequired = false;
        RootSurfaceStartupPhase localServicePhase = RootSurfaceStartupPhase::idle;
        bool serviceInstalled = false;
        bool serviceLaunchAgentLoaded = false;
        bool serviceBrokerListening = false;
        int startupElapsedSeconds = 0;
        int brokerOfflineGraceSeconds = 5;
    };

    struct HandoffFacts {
        bool statusListening = false;
        bool brokerListeningObserved = false;
        bool statusIsPortConflict = false;
        bool statusIsStaleBroker = false;
        bool statusIsStartFailed = false;
        bool statusIsUnavailable = false;
        bool actionInProgress = false;
        bool startPhaseIsWorking = false;
        int startElapsedSeconds = 0;
    };

    static RootSurface select(const Facts &facts);
    static bool serviceReadyForDashboardHandoff(const HandoffFacts &facts);
};
