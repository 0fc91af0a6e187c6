#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>

namespace platform {

// The one source of "now" for every rule that depends on the date or the time (the once-a-day
// rule, the `lastUpdate` check, cookie expiry, time-stamped file names and cache busters).
// The system clock unless a test put another one in place. Safe from any thread; the clock is
// replaced by the test's main thread while no worker runs.
using TimePoint = std::chrono::system_clock::time_point;
using ClockFunction = std::function<TimePoint()>;

[[nodiscard]] TimePoint Now();
// Seconds since 1970-01-01 UTC, as time() gives them.
[[nodiscard]] std::int64_t UnixNow();
// The local calendar time of Now().
[[nodiscard]] std::tm LocalCalendarNow();

// Puts clock in place of the system clock; an empty function puts the system clock back.
void SetClock(ClockFunction clock);

// A clock for the length of a scope (a test): fixed at a moment, or any function.
class ScopedClock {
  public:
    explicit ScopedClock(ClockFunction clock) { SetClock(std::move(clock)); }
    explicit ScopedClock(TimePoint fixed) : ScopedClock([fixed] { return fixed; }) {}
    ~ScopedClock() { SetClock({}); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace platform
