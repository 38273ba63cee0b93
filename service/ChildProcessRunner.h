#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <chrono>

struct ChildProcessRequest {
    QString program;
    QStringList arguments;
    QString workingDirectory;
    QProcessEnvironment environment;
    std::chrono::milliseconds timeout{0};
    // Named in the time-out error.
    QString commandWord;
};

struct ChildProcessResult {
    // Non-zero also when the child died from a signal.
    int exitCode = 0;
    // Standard output decoded as UTF-8; empty when it was not valid UTF-8.
    QString standardOutput;
};

// Runs one child with a hard deadline. Both pipes are drained as data arrives (standard error is
// discarded) so the child never blocks on a full pipe. Past the deadline the child is asked to
// terminate and killed 500 ms later if it is still there; no child outlives the call.
class ChildProcessRunner
{
public:
    // Throws LocalServiceControlError: launchFailed (the platform's text) or timedOut.
    static QCoro::Task<ChildProcessResult> run(ChildProcessRequest request);

    static QString decodeUtf8(const QByteArray &bytes);
};
