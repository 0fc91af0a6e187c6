#include "app/ParticleSwitch.h"

#include "platform/FileAttributes.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace vm {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string WithParticleSetting(std::string_view text, bool disableParticle) {
    const std::string_view wanted = disableParticle ? "false" : "true";
    std::string out;
    out.reserve(text.size() + 8);
    bool seen = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        size_t next = end;
        if (next < text.size())
            next +=
                (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
        const std::string_view line = text.substr(pos, end - pos);
        const std::string_view ending = text.substr(end, next - end);
        pos = next;

        // key=value: a non-empty key and a value without a further '='.
        const size_t eq = line.find('=');
        const bool keyValue = eq != std::string_view::npos && eq > 0 &&
                              line.find('=', eq + 1) == std::string_view::npos;
        if (!keyValue || platform::Trim(line.substr(0, eq), " \t") != kParticleKey) {
            out.append(line);
            out.append(ending);
            continue;
        }
        if (seen) continue;  // only the first particle line counts
        seen = true;
        size_t valueStart = eq + 1;
        while (valueStart < line.size() && IsBlank(line[valueStart])) ++valueStart;
        out.append(line.substr(0, valueStart));
        out.append(wanted);
        out.append(ending);
    }
    return out;
}

bool ApplyParticleSwitch(const std::filesystem::path& clientIni, bool disableParticle) {
    std::error_code ec;
    // A linked "Client.ini" is rewritten where it really lives, keeping the link.
    std::filesystem::path target = clientIni;
    if (std::filesystem::is_symlink(clientIni, ec)) {
        target = std::filesystem::canonical(clientIni, ec);
        if (ec) return false;
    }
    const auto text = platform::ReadWholeFile(target);
    if (!text || text->empty()) return false;
    const std::string updated = WithParticleSetting(*text, disableParticle);
    if (updated == *text) return false;
    platform::ClearFileAttributes(target);
    return platform::WriteFileAtomic(target, updated);
}

}  // namespace vm
