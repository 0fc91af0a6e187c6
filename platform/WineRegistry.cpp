#include "platform/WineRegistry.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace platform {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads one escaped registry string starting after its opening quote (or, for key names,
// at the start), up to the unescaped terminator. Wine writes non-ASCII characters as \x
// escapes of UTF-16 units; raw bytes are taken as UTF-8. nullopt when the terminator is
// missing.
std::optional<std::string> Unescape(std::string_view s, size_t& pos, char terminator) {
    std::u16string out;
    std::string raw;
    auto flush = [&] {
        out += Utf8ToUtf16(raw);
        raw.clear();
    };
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == terminator) {
            flush();
            return Utf16ToUtf8(out);
        }
        if (c != '\\' || pos >= s.size()) {
            raw.push_back(c);
            continue;
        }
        flush();
        char e = s[pos++];
        switch (e) {
            case 'a':
                out.push_back(u'\a');
                break;
            case 'b':
                out.push_back(u'\b');
                break;
            case 'e':
                out.push_back(u'\x1b');
                break;
            case 'f':
                out.push_back(u'\f');
                break;
            case 'n':
                out.push_back(u'\n');
                break;
            case 'r':
                out.push_back(u'\r');
                break;
            case 't':
                out.push_back(u'\t');
                break;
            case 'v':
                out.push_back(u'\v');
                break;
            case 'x': {
                unsigned v = 0;
                int digits = 0;
                while (digits < 4 && pos < s.size() && HexValue(s[pos]) >= 0) {
                    v = v * 16 + static_cast<unsigned>(HexValue(s[pos++]));
                    ++digits;
                }
                if (digits == 0)
                    out.push_back(u'x');
                else
                    out.push_back(static_cast<char16_t>(v));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    for (int i = 0; i < 2 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++i)
                        v = v * 8 + static_cast<unsigned>(s[pos++] - '0');
                    out.push_back(static_cast<char16_t>(v));
                } else {
                    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(e)));
                }
        }
    }
    return std::nullopt;
}

// The key named by a section line "[Software\\Halvar\\TVRN] 1700000000".
std::optional<std::string> SectionKey(std::string_view line) {
    size_t close = line.rfind(']');
    if (close == std::string_view::npos || close < 1) return std::nullopt;
    std::string_view inner = line.substr(1, close - 1);
    size_t pos = 0;
    // Unescape up to a terminator that cannot occur: the whole inner text.
    std::string text(inner);
    text.push_back('\0');
    return Unescape(text, pos, '\0');
}

std::string_view TrimEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::filesystem::path WineRegistry::DefaultPrefix() {
    if (const char* p = std::getenv("WINEPREFIX"); p && *p) return p;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".wine";
    return {};
}

std::optional<std::string> WineRegistry::GetMachineString(std::string_view key,
                                                          std::string_view name) const {
    if (m_prefix.empty()) return std::nullopt;
    auto text = ReadWholeFile(m_prefix / "system.reg");
    if (!text) return std::nullopt;

    const std::string wantedKey = AsciiLower(key);
    const std::string wantedName = AsciiLower(name);
    std::string_view all = *text;
    bool inKey = false;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = TrimEnd(all.substr(start, end - start));
        start = end + 1;

        if (!line.empty() && line.front() == '[') {
            auto k = SectionKey(line);
            inKey = k && AsciiLower(*k) == wantedKey;
            continue;
        }
        if (!inKey || line.empty()) continue;

        // "Name"=... or @=... for the default value.
        size_t pos = 0;
        std::string valueName;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            pos = 1;
            auto n = Unescape(line, pos, '"');
            if (!n) continue;
            valueName = *n;
        } else {
            continue;
        }
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        if (AsciiLower(valueName) != wantedName) continue;

        std::string_view data = line.substr(pos);
        if (data.starts_with("str(2):")) {
            pos += 7;
            data.remove_prefix(7);
        }
        if (data.empty() || data.front() != '"') return std::nullopt;  // not a string value
        ++pos;
        return Unescape(line, pos, '"');
    }
    return std::nullopt;
}

bool WineRegistry::Is64Bit() const {
    auto text = ReadWholeFile(m_prefix / "system.reg");
    return text && text->find("#arch=win64") != std::string::npos;
}

std::optional<std::filesystem::path> WineRegistry::ToUnixPath(std::string_view windowsPath) const {
    std::string_view p = windowsPath;
    if (p.starts_with("\\\\?\\") || p.starts_with("\\??\\")) p.remove_prefix(4);
    if (p.size() < 2 || p[1] != ':' || !std::isalpha(static_cast<unsigned char>(p[0])))
        return std::nullopt;

    std::filesystem::path result =
        m_prefix / "dosdevices" / (std::string(1, static_cast<char>(std::tolower(p[0]))) + ":");
    p.remove_prefix(2);

    std::error_code ec;
    int depth = 0;  // ".." never climbs above the drive's root
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = p.size();
        std::string part(p.substr(start, end - start));
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (depth > 0) {
                result = result.parent_path();
                --depth;
            }
            continue;
        }
        std::filesystem::path next = result / part;
        if (!std::filesystem::exists(next, ec)) {
            // Windows names ignore case; find the one that is there.
            const std::string lower = AsciiLower(part);
            for (auto it = std::filesystem::directory_iterator(result, ec);
                 !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
                if (AsciiLower(it->path().filename().string()) == lower) {
                    next = it->path();
                    break;
                }
            }
        }
        result = std::move(next);
        ++depth;
    }
    return result;
}

}  // namespace platform
