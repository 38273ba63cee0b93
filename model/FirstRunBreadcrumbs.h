#pragma once

#include <QLoggingCategory>
#include <QString>

// Diagnostics breadcrumbs of the launch and start flow, category "com.torvane.mac.firstrun".
// Never pass a secret: these lines go to the journal.
Q_DECLARE_LOGGING_CATEGORY(lcFirstRun)

namespace FirstRunBreadcrumbs {

void record(const QString &text);
void record(const QString &text, const QString &phase);

} // namespace FirstRunBreadcrumbs
