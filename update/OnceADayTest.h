#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vm {

// A local date and time in the 16-byte record `Update`/`LastUpdate` holds: eight 16-bit
// little-endian fields.
struct SystemTime {
    std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;

    std::vector<std::uint8_t> Encode() const;
    // nullopt unless bytes is exactly one record.
    static std::optional<SystemTime> Decode(const std::vector<std::uint8_t>& bytes);
};

// The local time now (platform::Now); the default clock of the day test.
SystemTime LocalNow();
using LocalClock = std::function<SystemTime()>;

enum class DayTest { Update, AlreadyDoneToday };

// The once-a-day rule shared by the update-information job and the update run. With
// `Update`/`OnceEveryDay` 0 it answers Update and writes nothing. Otherwise it answers
// AlreadyDoneToday when `LastUpdate` holds a record of today's date (a value that is not a
// 16-byte record counts as another day), and writes now as the new `LastUpdate` either way.
DayTest RunOnceADayTest(const LocalClock& clock = LocalNow);

}  // namespace vm
