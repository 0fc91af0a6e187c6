// Passport, data-server and combat-log text is outside data: download tickets, upload and
// probe answers, log lines and stored credentials.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "net/CUploadLogThread.h"
#include "net/GameDataUpload.h"
#include "net/Passport.h"
#include "net/SettingsSync.h"
#include "platform/DataProtection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)vm::ParseDownloadTicket(text);
    (void)vm::UploadAnswerError(text);
    if (auto probe = vm::ParseProbeAnswer(text)) {
        (void)vm::DataChecksum(text, probe->token, probe->id, text.substr(0, 32), "h3");
        (void)vm::BuildGameDataBody(probe->id, "c", "0", text);
    }
    (void)vm::IsEmailAddress(text);
    (void)vm::ParseCombatLogTime(text);
    std::istringstream log{std::string(text)};
    (void)vm::ExtractCombatLogPiece(log, "1/1 00:00:00.000", "12/31 23:59:59.999");
    // No key file: unprotecting must fail cleanly whatever the text.
    (void)platform::DataProtection(std::filesystem::path()).UnprotectFromHex(text);
    return 0;
}
