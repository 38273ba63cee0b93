#pragma once

#include "AgentHandoffVerificationStep.h"
#include "LocalAgentProfileStore.h"
#include "TVNRuntimeIdentity.h"
#include "WrapperExecutionResult.h"
#include "WrapperInvocation.h"

#include <QCoroTask>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

// The checks of a handoff, each judged into one step: the local profile, the wrapper file, an
// agent app's config file, the broker's health, the wrapper's own "--check" and an MCP session
// with the wrapper. Nothing here throws or changes a file; blocking work runs on worker threads.
class AgentHandoffVerifier
{
public:
    // The app stops waiting for the wrapper after this long.
    static constexpr std::chrono::milliseconds wrapperBudget{8000};
    static constexpr std::chrono::milliseconds pollInterval{50};
    static const QString wrapperFileName;

    struct ProfileInspection {
        AgentHandoffVerificationStep step;
        QString profilePath;
    };
    struct WrapperInspection {
        AgentHandoffVerificationStep step;
        bool usable = false;
    };

    // The wrapper an agent app should launch: in the development lane the checkout around the
    // install prefix first, then <prefix>/share/torvane/Service, the installed service copy, the
    // per-user and system install prefixes; the bare name (found on PATH) when none is readable.
    static QString resolveWrapperCommand(const TVNRuntimeIdentity &identity, const QString &prefixDirectory);
    // The app's own signer in <resources>/bin, else the one the environment names; absolute.
    static std::optional<QString> resolveSignerPath(const QString &resourcesDirectory,
                                                    const QProcessEnvironment &environment);

    static QCoro::Task<ProfileInspection> inspectProfile(QString profile, LocalAgentProfileStore store);
    static WrapperInspection inspectWrapper(const QString &command);
    static AgentHandoffVerificationStep inspectConfig(const QString &path);
    static QCoro::Task<AgentHandoffVerificationStep> inspectBrokerHealth(QUrl brokerURL);
    static QCoro::Task<AgentHandoffVerificationStep> runWrapperCheck(WrapperInvocation invocation, bool canRun);
    static QCoro::Task<AgentHandoffVerificationStep> inspectMcpSession(WrapperInvocation invocation, bool canRun);

    // Runs "--check" and polls it until it exits or `budget` is over. Blocks: run it on a worker.
    static WrapperExecutionResult executeWrapperCheck(const WrapperInvocation &invocation,
                                                      std::chrono::milliseconds budget = wrapperBudget);
    static AgentHandoffVerificationStep judgeWrapperCheck(const WrapperExecutionResult &result, const QString &profile);

    // 127.0.0.1, localhost or ::1.
    static bool isLoopback(const QUrl &url);
};
