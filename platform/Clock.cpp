#include "platform/Clock.h"

#include <mutex>

namespace platform {
namespace {

struct ClockSlot {
    std::mutex lock;
    ClockFunction clock;
};

// Never destroyed: detached workers may ask for the time while the process exits.
ClockSlot& Slot() {
    static ClockSlot* slot = new ClockSlot;
    return *slot;
}

}  // namespace

TimePoint Now() {
    ClockSlot& slot = Slot();
    ClockFunction clock;
    {
        std::lock_guard<std::mutex> hold(slot.lock);
        clock = slot.clock;
    }
    return clock ? clock() : std::chrono::system_clock::now();
}

std::int64_t UnixNow() {
    return static_cast<std::int64_t>(std::chrono::system_clock::to_time_t(Now()));
}

std::tm LocalCalendarNow() {
    const std::time_t t = std::chrono::system_clock::to_time_t(Now());
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

void SetClock(ClockFunction clock) {
    ClockSlot& slot = Slot();
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.clock = std::move(clock);
}

}  // namespace platform
