#pragma once

#include "LocalServiceCommand.h"
#include "LocalServiceContext.h"
#include "LocalServiceStatus.h"
#include "NodeInvocation.h"

#include <QCoro/QCoroTask>

#include <optional>

// Runs the service's own control script, one child process per command, and decodes the
// status it prints. Holds no state between commands; callers must not overlap commands.
// Every failure is thrown as LocalServiceControlError.
class LocalServiceController
{
public:
    explicit LocalServiceController(LocalServiceContext context);

    // `timeoutSeconds` replaces the command's default time-out for this call.
    QCoro::Task<LocalServiceStatus> run(LocalServiceCommand command, std::optional<double> timeoutSeconds = std::nullopt);

    // Uninstalls (errors ignored), removes the state root, the log directory and the installed
    // service copy under the guarded-removal rules, then installs and returns that status.
    QCoro::Task<LocalServiceStatus> resetLocalVaultState();

    std::optional<QString> resolvedServiceRoot() const;
    // The application paths the service trusts, comma-separated.
    QString trustedAppPaths() const;

    // Where the service's systemd user unit lives when a user manager runs it (shown in the
    // recovery settings; the control script decides whether it is used).
    QString serviceUnitPath() const;
    // The registration in use: the run lock when the script recorded a detached install (no user
    // manager), else the unit path.
    QString serviceRegistrationPath() const;

    const TVNRuntimeIdentity &identity() const { return m_context.identity; }

private:
    struct Invocation;
    Invocation plan(LocalServiceCommand command, bool operatorSealedEnabled) const;
    void removeOwnedDirectories() const;

    LocalServiceContext m_context;
};
