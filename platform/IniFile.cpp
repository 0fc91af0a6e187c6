#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace platform {

namespace {

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Lines keep their line break out; a CR of a CRLF file is a blank like space and tab.
constexpr std::string_view kIniBlanks = " \t\r";

struct Line {
    std::string_view text;  // without the line break
};

std::vector<std::string_view> SplitLines(std::string_view content) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t nl = content.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        std::string_view line = content.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

// A section header "[name]" gives its name.
std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view t = Trim(line, kIniBlanks);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1), kIniBlanks);
}

// A "key=value" line gives its key and raw value.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
    std::string_view t = Trim(line, kIniBlanks);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return std::make_pair(Trim(t.substr(0, eq), kIniBlanks), Trim(t.substr(eq + 1), kIniBlanks));
}

std::string Entry(std::string_view key, std::string_view value) {
    std::string e(key);
    e.append(1, '=').append(value);
    return e;
}

std::mutex& ProcessWriteLock() {
    static auto* m = new std::mutex;
    return *m;
}

// Advisory lock on a sibling lock file: the INI itself is replaced by rename, so a lock on
// its inode would not be seen by the next writer.
class FileLock {
  public:
    explicit FileLock(const std::filesystem::path& target) {
        std::string lockPath = target.string() + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int m_fd = -1;
};

}  // namespace

IniFile::IniFile(std::filesystem::path path) : m_path(std::move(path)) {}

std::optional<std::string> IniFile::Lookup(std::string_view content, std::string_view section,
                                           std::string_view key) {
    bool inSection = false;
    for (std::string_view line : SplitLines(content)) {
        if (auto name = SectionName(line)) {
            inSection = IEquals(*name, section);
            continue;
        }
        if (!inSection) continue;
        auto kv = KeyValue(line);
        if (!kv || !IEquals(kv->first, key)) continue;
        std::string_view v = kv->second;
        // Matching quotes around a value are not part of it, as in any profile file.
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return std::nullopt;
}

std::string IniFile::Update(std::string_view content, std::string_view section,
                            std::string_view key, const std::optional<std::string>& value) {
    const bool crlf = content.find("\r\n") != std::string_view::npos;
    const char* eol = crlf ? "\r\n" : "\n";
    std::vector<std::string_view> lines = SplitLines(content);
    std::vector<std::string> out;
    out.reserve(lines.size() + 2);

    // Every section of that name counts (as for a lookup); the key is written where it first
    // stands and later copies are dropped, so a removal removes it everywhere.
    bool inSection = false, inFirst = false, done = false;
    int sectionsSeen = 0;
    size_t sectionEnd = 0;  // index in out after the last entry of the first matching section
    for (std::string_view line : lines) {
        if (auto name = SectionName(line)) {
            inSection = IEquals(*name, section);
            inFirst = inSection && sectionsSeen == 0;
            if (inSection) ++sectionsSeen;
            out.emplace_back(line);
            if (inFirst) sectionEnd = out.size();
            continue;
        }
        if (inSection) {
            auto kv = KeyValue(line);
            if (kv && IEquals(kv->first, key)) {
                if (!done && value) out.push_back(Entry(key, *value));
                if (inFirst) sectionEnd = out.size();
                done = true;
                continue;
            }
        }
        out.emplace_back(line);
        if (inFirst && !Trim(line, kIniBlanks).empty()) sectionEnd = out.size();
    }
    const bool sectionSeen = sectionsSeen > 0;
    if (!done && value) {
        std::string entry = Entry(key, *value);
        if (sectionSeen) {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
        } else {
            std::string header(1, '[');
            header.append(section).append(1, ']');
            out.push_back(std::move(header));
            out.push_back(entry);
        }
    }
    std::string result;
    for (const auto& l : out) {
        result += l;
        result += eol;
    }
    return result;
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
    auto content = ReadWholeFile(m_path);
    if (!content) return std::nullopt;
    return Lookup(*content, section, key);
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view def) const {
    auto v = Read(section, key);
    return v ? *v : std::string(def);
}

int IniFile::ParseInt(std::string_view text, int def) {
    std::string_view t = Trim(text, kIniBlanks);
    if (t.empty()) return def;
    bool neg = false;
    size_t i = 0;
    if (t[i] == '-' || t[i] == '+') {
        neg = t[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < t.size() && t[i] == '0') {
        char p = t[i + 1];
        if (p == 'x' || p == 'X') base = 16;
        if (p == 'o' || p == 'O') base = 8;
        if (p == 'b' || p == 'B') base = 2;
        if (base != 10) i += 2;
    }
    std::uint32_t v = 0;  // wraps like the 32-bit original
    for (; i < t.size(); ++i) {
        char c = t[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = unsigned(c - 'A' + 10);
        else
            break;
        if (d >= base) break;
        v = v * base + d;
    }
    if (neg) v = 0u - v;
    return static_cast<int>(v);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int def) const {
    auto v = Read(section, key);
    if (!v) return def;
    return ParseInt(*v, def);
}

std::string IniFile::EncodeBinary(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    s.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        s += char('A' + (b & 0x0F));
        s += char('A' + (b >> 4));
    }
    return s;
}

std::optional<std::vector<std::uint8_t>> IniFile::DecodeBinary(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        char lo = text[i], hi = text[i + 1];
        if (lo < 'A' || lo > 'P' || hi < 'A' || hi > 'P') return std::nullopt;
        out.push_back(std::uint8_t(((hi - 'A') << 4) | (lo - 'A')));
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> IniFile::GetBinary(std::string_view section,
                                                            std::string_view key) const {
    auto v = Read(section, key);
    if (!v) return std::nullopt;
    return DecodeBinary(*v);
}

bool IniFile::Modify(std::string_view section, std::string_view key,
                     const std::optional<std::string>& value) {
    auto bad = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
    if (bad(section) || bad(key) || (value && bad(*value))) return false;
    if (section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos)
        return false;
    std::lock_guard<std::mutex> guard(ProcessWriteLock());
    FileLock lock(m_path);
    std::string content = ReadWholeFile(m_path).value_or(std::string());
    return WriteFileAtomic(m_path, Update(content, section, key, value));
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    return Modify(section, key, std::string(value));
}

bool IniFile::WriteInt(std::string_view section, std::string_view key, int value) {
    return Modify(section, key, std::to_string(value));
}

bool IniFile::WriteBinary(std::string_view section, std::string_view key,
                          const std::vector<std::uint8_t>& bytes) {
    return Modify(section, key, EncodeBinary(bytes));
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
    return Modify(section, key, std::nullopt);
}

}  // namespace platform
