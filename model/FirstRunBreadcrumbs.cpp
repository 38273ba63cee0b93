#include "FirstRunBreadcrumbs.h"

Q_LOGGING_CATEGORY(lcFirstRun, "com.torvane.mac.firstrun", QtInfoMsg)

namespace FirstRunBreadcrumbs {

void record(const QString &text)
{
    qCInfo(lcFirstRun).noquote() << QStringLiteral("firstrun-breadcrumb: %1").arg(text);
}

void record(const QString &text, const QString &phase)
{
    qCInfo(lcFirstRun).noquote() << QStringLiteral("firstrun-breadcrumb: %1 [phase=%2]").arg(text, phase);
}

} // namespace FirstRunBreadcrumbs
