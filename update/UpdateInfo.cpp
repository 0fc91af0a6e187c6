#include "update/UpdateInfo.h"

#include "platform/Text.h"

namespace vm {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
}

// Calls f for every line of text, without its line break.
template <class F>
void ForEachLine(std::string_view text, F&& f) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            f(text.substr(start));
            return;
        }
        f(text.substr(start, end - start));
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

}  // namespace

std::string DecodeInfoBytes(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    std::u16string_view view(units);
    if (!view.empty() && view.front() == u'\xFEFF') view.remove_prefix(1);
    return platform::Utf16ToUtf8(view);
}

std::string EncodeInfoBytes(std::string_view utf8) {
    std::u16string units = platform::Utf8ToUtf16(utf8);
    std::string out = "\xFF\xFE";
    out.reserve(2 + units.size() * 2);
    for (char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

void ParseInfoText(std::string_view text, UpdateInfoMap& info) {
    bool inBlock = false;
    std::string blockKey;
    std::string blockValue;
    ForEachLine(text, [&](std::string_view line) {
        if (!line.empty() && line.front() == '#') return;
        if (inBlock) {
            if (!line.empty() && line.front() == '}') {
                info[blockKey] = std::move(blockValue);
                inBlock = false;
                return;
            }
            blockValue.append(line);
            blockValue.append("\r\n");
            return;
        }
        std::size_t keyStart = SkipBlanks(line, 0);
        std::size_t eq = line.find('=', keyStart);
        if (eq == std::string_view::npos) return;
        std::size_t keyEnd = eq;
        while (keyEnd > keyStart && IsBlank(line[keyEnd - 1])) --keyEnd;
        if (keyEnd == keyStart) return;
        std::string key(line.substr(keyStart, keyEnd - keyStart));
        std::size_t valueStart = SkipBlanks(line, eq + 1);
        if (valueStart < line.size() && line[valueStart] == '{') {
            inBlock = true;
            blockKey = std::move(key);
            blockValue.clear();
            return;
        }
        std::size_t valueEnd = line.find('{', valueStart);
        if (valueEnd == std::string_view::npos) valueEnd = line.size();
        info[key] = std::string(line.substr(valueStart, valueEnd - valueStart));
    });
    if (inBlock) info[blockKey] = std::move(blockValue);
}

bool IsWritableInfoKey(std::string_view key) {
    if (key.empty() || key.front() == '#' || key.front() == '}') return false;
    if (IsBlank(key.front()) || IsBlank(key.back())) return false;
    return key.find_first_of("={\r\n") == std::string_view::npos;
}

bool IsWritableInfoValue(std::string_view value) {
    // Leading blanks would be skipped on reading; '{' at the start would open a block.
    if (!value.empty() && IsBlank(value.front())) return false;
    return value.find_first_of("{\r\n") == std::string_view::npos;
}

std::string FormatInfoText(const UpdateInfoMap& info) {
    std::string out;
    for (const auto& [key, value] : info) {
        if (value.find("\r\n") == std::string::npos) {
            out += key + " = " + value + "\r\n";
            continue;
        }
        out += key + " = {\r\n";
        std::string_view rest(value);
        while (!rest.empty()) {
            std::size_t end = rest.find("\r\n");
            std::string_view line = rest.substr(0, end);
            if (!line.empty() && (line.front() == '#' || line.front() == '}')) out += ' ';
            out.append(line);
            out += "\r\n";
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 2);
        }
        out += "}\r\n";
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> PublishedSetsOf(const UpdateInfoMap& info) {
    std::vector<std::pair<std::string, std::string>> sets;
    const std::string_view prefix(kInfoSetPrefix);
    for (auto it = info.lower_bound(std::string(prefix)); it != info.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.size() == prefix.size()) continue;
        sets.emplace_back(it->first.substr(prefix.size()), it->second);
    }
    return sets;
}

void RebuildPublishedSets(const UpdateInfoMap& info, std::vector<std::string>& names,
                          std::map<std::string, std::string>& folders) {
    names.clear();
    for (auto& [name, folder] : PublishedSetsOf(info)) {
        names.push_back(name);
        folders.emplace(name, folder);
    }
}

}  // namespace vm
