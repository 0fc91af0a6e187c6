#include "update/AutoUpdateDecision.h"

#include <ctime>

#include "app/CVelmoraApp.h"
#include "platform/Clock.h"
#include "update/UpdateInfo.h"

namespace vm {

std::int64_t UnixNow() {
    return platform::UnixNow();
}

AutoUpdateDecision DecideAutomaticUpdate() {
    CVelmoraApp& app = theApp();
    const bool hasVersion = app.PublishedState().updateInfo.With(
        [](const UpdateInfoMap& info) { return info.count(kInfoVersion) != 0; });
    if (app.GetProfile(settings::kAutoUpdate) == 0 || !hasVersion)
        return AutoUpdateDecision::NoUpdate;
    if (app.GetProfile(settings::kOnceEveryDay) == 0) return AutoUpdateDecision::Start;
    const std::int64_t now = UnixNow();
    const std::int64_t elapsed = now - app.GetProfile(settings::kLastUpdateSeconds);
    if (elapsed > 86400 || elapsed <= 0) {
        app.WriteProfile(settings::kLastUpdateSeconds, static_cast<int>(now));
        return AutoUpdateDecision::Start;
    }
    return AutoUpdateDecision::UpdatedToday;
}

const char* AutoUpdateDecisionText(AutoUpdateDecision decision) {
    switch (decision) {
        case AutoUpdateDecision::UpdatedToday:
            return "今日已更新过。";
        case AutoUpdateDecision::NoUpdate:
            return "不进行更新。";
        case AutoUpdateDecision::Start:
            break;
    }
    return "";
}

}  // namespace vm
