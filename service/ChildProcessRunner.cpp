#include "ChildProcessRunner.h"

#include "LocalServiceControlError.h"

#include <QProcess>
#include <QStringDecoder>

#include <QCoro/QCoroTimer>

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr auto pollInterval = 100ms;
constexpr auto startPollInterval = 10ms;
constexpr auto terminationGrace = 500ms;
constexpr auto reapWait = 2s;

using Clock = std::chrono::steady_clock;

// Polls rather than awaiting QProcess signals: one clock decides every deadline, and nothing
// stays connected to the process once the wait is over. The condition is taken by value: it
// must live in the coroutine frame, not in the caller's temporary.
QCoro::Task<bool> waitUntil(std::function<bool()> condition, Clock::time_point deadline,
                            std::chrono::milliseconds interval)
{
    while (!condition()) {
        if (Clock::now() >= deadline)
            co_return false;
        co_await QCoro::sleepFor(interval);
    }
    co_return true;
}

QCoro::Task<bool> exitedBy(QProcess &process, Clock::time_point deadline)
{
    return waitUntil([&process] { return process.state() == QProcess::NotRunning; }, deadline, pollInterval);
}

QCoro::Task<> stopChild(QProcess &process)
{
    process.terminate();
    // Awaited into a named value: GCC 12 mishandles co_await inside a condition.
    const bool ended = co_await exitedBy(process, Clock::now() + terminationGrace);
    if (ended)
        co_return;
    process.kill();
    // Reap it so no zombie is left behind.
    co_await exitedBy(process, Clock::now() + reapWait);
}

} // namespace

QString ChildProcessRunner::decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return decoder.hasError() ? QString() : text;
}

QCoro::Task<ChildProcessResult> ChildProcessRunner::run(ChildProcessRequest request)
{
    // Declared before the process so it outlives it: a dying QProcess may still deliver output.
    QByteArray standardOutput;
    auto process = std::make_unique<QProcess>();
    process->setProgram(request.program);
    process->setArguments(request.arguments);
    process->setWorkingDirectory(request.workingDirectory);
    process->setProcessEnvironment(request.environment);
    process->setStandardInputFile(QProcess::nullDevice());

    QObject::connect(process.get(), &QProcess::readyReadStandardOutput, process.get(),
                     [&standardOutput, p = process.get()] { standardOutput += p->readAllStandardOutput(); });
    QObject::connect(process.get(), &QProcess::readyReadStandardError, process.get(),
                     [p = process.get()] { p->readAllStandardError(); });

    const auto deadline = Clock::now() + request.timeout;
    process->start();
    co_await waitUntil([&process] { return process->state() != QProcess::Starting; }, deadline, startPollInterval);
    if (process->error() == QProcess::FailedToStart)
        throw LocalServiceControlError::launchFailed(process->errorString());

    const bool exited = co_await exitedBy(*process, deadline);
    if (!exited) {
        co_await stopChild(*process);
        throw LocalServiceControlError::timedOut(request.commandWord);
    }
    standardOutput += process->readAllStandardOutput();
    const bool normalExit = process->exitStatus() == QProcess::NormalExit;
    co_return ChildProcessResult{normalExit ? process->exitCode() : -1, decodeUtf8(standardOutput)};
}
