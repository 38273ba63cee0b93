#pragma once

// What the readiness check decides about a dashboard load.
enum class DashboardRevealDecision { reveal, confirmWithSnapshot, notRendered };
