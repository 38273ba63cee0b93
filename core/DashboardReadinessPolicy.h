#pragma once

#include "DashboardReadinessProbe.h"
#include "DashboardRevealDecision.h"

// When the dashboard counts as rendered: a root element with text, a document past loading and a
// body with text. The page's own ready flag lets it show at once; without it a snapshot must agree.
class DashboardReadinessPolicy
{
public:
    static bool contentIsRendered(const DashboardReadinessProbe &probe);
    static DashboardRevealDecision decideOnProbe(const DashboardReadinessProbe &probe);
    static DashboardRevealDecision decideOnSnapshotExhausted(const DashboardReadinessProbe &probe);
};
