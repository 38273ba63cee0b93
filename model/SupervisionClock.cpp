#include "SupervisionClock.h"

#include <QCoroTimer>

SupervisionClock::TimePoint SupervisionClock::now() const
{
    return std::chrono::steady_clock::now();
}

QCoro::Task<> SupervisionClock::sleep(std::chrono::milliseconds duration)
{
    co_await QCoro::sleepFor(duration);
}
