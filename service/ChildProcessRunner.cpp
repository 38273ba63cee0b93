#include "ChildProcessRunner.h"

#include "LocalServiceControlError.h"

#include <QProcess>
#include <QStringDecoder>

#include <QCoro/QCoroProcess>
#include <QCoro/QCoroTimer>

#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr auto pollInterval = 100ms;
constexpr auto terminationGrace = 500ms;
constexpr auto reapWait = 2s;

QCoro::Task<> stopChild(QProcess &process)
{
    process.terminate();
    if (co_await qCoro(process).waitForFinished(terminationGrace))
        co_return;
    if (process.state() == QProcess::NotRunning)
        co_return;
    process.kill();
    // Reap it so no zombie is left behind.
    co_await qCoro(process).waitForFinished(reapWait);
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
    auto process = std::make_unique<QProcess>();
    process->setProgram(request.program);
    process->setArguments(request.arguments);
    process->setWorkingDirectory(request.workingDirectory);
    process->setProcessEnvironment(request.environment);
    process->setStandardInputFile(QProcess::nullDevice());

    QByteArray standardOutput;
    QObject::connect(process.get(), &QProcess::readyReadStandardOutput, process.get(),
                     [&standardOutput, p = process.get()] { standardOutput += p->readAllStandardOutput(); });
    QObject::connect(process.get(), &QProcess::readyReadStandardError, process.get(),
                     [p = process.get()] { p->readAllStandardError(); });

    const auto deadline = std::chrono::steady_clock::now() + request.timeout;
    process->start();
    if (!co_await qCoro(*process).waitForStarted(request.timeout) && process->state() != QProcess::Running)
        throw LocalServiceControlError::launchFailed(process->errorString());

    while (process->state() != QProcess::NotRunning) {
        if (std::chrono::steady_clock::now() >= deadline) {
            co_await stopChild(*process);
            throw LocalServiceControlError::timedOut(request.commandWord);
        }
        co_await QCoro::sleepFor(pollInterval);
    }
    standardOutput += process->readAllStandardOutput();
    const bool normalExit = process->exitStatus() == QProcess::NormalExit;
    co_return ChildProcessResult{normalExit ? process->exitCode() : -1, decodeUtf8(standardOutput)};
}
