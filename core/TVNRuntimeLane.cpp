#include "TVNRuntimeLane.h"

namespace TVNRuntimeLanes {

QString rawValue(TVNRuntimeLane lane)
{
    switch (lane) {
    case TVNRuntimeLane::production:
        return QStringLiteral("production");
    case TVNRuntimeLane::development:
        break;
    }
    return QStringLiteral("development");
}

std::optional<TVNRuntimeLane> fromRawValue(const QString &raw)
{
    for (const TVNRuntimeLane lane : {TVNRuntimeLane::development, TVNRuntimeLane::production}) {
        if (raw == rawValue(lane))
            return lane;
    }
    return std::nullopt;
}

} // namespace TVNRuntimeLanes
