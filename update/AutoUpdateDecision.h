#pragma once

#include <cstdint>

namespace vm {

// The main window's decision, when it opens, whether to start an update run by itself.
enum class AutoUpdateDecision {
    Start,         // start it (`lastUpdate` was written when the once-a-day rule applies)
    UpdatedToday,  // "今日已更新过。"
    NoUpdate,      // "不进行更新。": `AutoUpdate` is off or the information has no `Version`
};

// Seconds since 1970, from the program's clock (platform/Clock.h).
std::int64_t UnixNow();

// Runs only with `Update`/`AutoUpdate` (default 1) set and `Version` in the update
// information. With `OnceEveryDay` (default 0) set it starts only when more than 86400
// seconds, or zero or fewer, have passed since `lastUpdate` (default 0), and then writes the
// current time there.
AutoUpdateDecision DecideAutomaticUpdate();

// The status text the window shows for a decision that starts nothing.
const char* AutoUpdateDecisionText(AutoUpdateDecision decision);

}  // namespace vm
