#include "StatusBanner.h"

QString StatusBanner::kindName(Kind kind)
{
    switch (kind) {
    case Kind::info:
        return QStringLiteral("info");
    case Kind::working:
        return QStringLiteral("working");
    case Kind::success:
        return QStringLiteral("success");
    case Kind::error:
        return QStringLiteral("error");
    }
    return {};
}
