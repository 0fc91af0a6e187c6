#include "update/OnceADayTest.h"

#include <chrono>
#include <ctime>

#include "app/CVelmoraApp.h"
#include "platform/Clock.h"

namespace vm {

std::vector<std::uint8_t> SystemTime::Encode() const {
    std::vector<std::uint8_t> out;
    for (std::uint16_t v : {year, month, dayOfWeek, day, hour, minute, second, milliseconds}) {
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

std::optional<SystemTime> SystemTime::Decode(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != 16) return std::nullopt;
    auto at = [&](int i) {
        return static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    return SystemTime{at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)};
}

SystemTime LocalNow() {
    const auto now = platform::Now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    return SystemTime{
        static_cast<std::uint16_t>(tm.tm_year + 1900), static_cast<std::uint16_t>(tm.tm_mon + 1),
        static_cast<std::uint16_t>(tm.tm_wday),        static_cast<std::uint16_t>(tm.tm_mday),
        static_cast<std::uint16_t>(tm.tm_hour),        static_cast<std::uint16_t>(tm.tm_min),
        static_cast<std::uint16_t>(tm.tm_sec),         static_cast<std::uint16_t>(ms)};
}

DayTest RunOnceADayTest(const LocalClock& clock) {
    CVelmoraApp& app = theApp();
    if (app.GetProfile(settings::kOnceEveryDay) == 0) return DayTest::Update;
    const SystemTime now = clock();
    DayTest answer = DayTest::Update;
    if (auto bytes = app.GetProfile(settings::kLastUpdateRecord)) {
        if (auto last = SystemTime::Decode(*bytes)) {
            if (last->year == now.year && last->month == now.month && last->day == now.day)
                answer = DayTest::AlreadyDoneToday;
        }
    }
    app.WriteProfile(settings::kLastUpdateRecord, now.Encode());
    return answer;
}

}  // namespace vm
