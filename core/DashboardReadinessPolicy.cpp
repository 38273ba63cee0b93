#include "DashboardReadinessPolicy.h"

bool DashboardReadinessPolicy::contentIsRendered(const DashboardReadinessProbe &probe)
{
    return probe.hasRoot && probe.rootTextLength >= 1 && probe.readyState != QLatin1StringView("loading")
        && probe.bodyTextLength >= 1;
}

DashboardRevealDecision DashboardReadinessPolicy::decideOnProbe(const DashboardReadinessProbe &probe)
{
    if (!contentIsRendered(probe))
        return DashboardRevealDecision::notRendered;
    return probe.webReadyFlag ? DashboardRevealDecision::reveal : DashboardRevealDecision::confirmWithSnapshot;
}

DashboardRevealDecision DashboardReadinessPolicy::decideOnSnapshotExhausted(const DashboardReadinessProbe &probe)
{
    return contentIsRendered(probe) ? DashboardRevealDecision::reveal : DashboardRevealDecision::notRendered;
}
