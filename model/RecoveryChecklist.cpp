#include "RecoveryChecklist.h"

#include "HomeRelativePath.h"

#include <QDir>
#include <QStringList>

QString RecoveryChecklist::text() const
{
    const QStringList lines = {
        appName + QStringLiteral(" recovery checklist (redacted: no keys, tokens, passwords or sessions)"),
        QStringLiteral("Local service now: %1 (status %2, broker %3)").arg(serviceStatusTitle, statusWord, brokerWord),
        QStringLiteral("Build: %1, source %2").arg(buildId, sourceRevision),
        QString(),
        QStringLiteral("1. In Settings > Recovery, press Check Local Service to re-read the status without repairing anything."),
        QStringLiteral("2. The app only trusts its local service at %1 (or the equivalent localhost address).")
            .arg(brokerURL.toString()),
        QStringLiteral("3. Service registration: ") + HomeRelativePath::display(QDir::cleanPath(serviceRegistrationPath), homeDirectory),
        QStringLiteral("4. Service logs: ") + HomeRelativePath::display(QDir::cleanPath(logDirectory), homeDirectory),
        QStringLiteral("5. If the service is off or does not match this app, go to Home and turn it on or repair it."),
        QStringLiteral("6. Still stuck? Quit %1, reopen it, then press Turn on again.").arg(appName),
        QStringLiteral("7. Never paste provider API keys, agent keys, one-time codes, account emails, or credential-store "
                       "values into support tickets, screenshots, docs, or proof artifacts."),
    };
    return lines.join(QLatin1Char('\n'));
}
