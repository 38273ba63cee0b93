#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <optional>

// Runs a task to completion on a nested event loop; unlike QCoro::waitFor it needs no default
// constructor for the result.
template <typename T>
T awaitTask(QCoro::Task<T> task)
{
    std::optional<T> outcome;
    QEventLoop loop;
    auto runner = [&]() -> QCoro::Task<> {
        outcome.emplace(co_await task);
        loop.quit();
    };
    auto running = runner();
    if (!outcome)
        loop.exec();
    return std::move(*outcome);
}
