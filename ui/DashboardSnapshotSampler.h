#pragma once

class QImage;

// Whether a snapshot of the dashboard shows a drawn page rather than an empty or blank view: a
// grid of samples must hold some bright and some coloured pixels.
namespace DashboardSnapshotSampler {
bool looksRendered(const QImage &snapshot);
}
