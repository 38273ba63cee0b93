#pragma once

#include <QCoroTask>

#include <chrono>

// Time as the service supervision sees it: deadlines and the pauses between polls. Tests replace
// it to run a 30-second wait in virtual time.
class SupervisionClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~SupervisionClock() = default;
    virtual TimePoint now() const;
    // Suspends the calling coroutine; the GUI thread keeps running.
    virtual QCoro::Task<> sleep(std::chrono::milliseconds duration);
};
