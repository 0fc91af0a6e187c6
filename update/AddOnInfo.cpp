#include "update/AddOnInfo.h"

#include <iconv.h>

#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "platform/Text.h"
#include "update/FileInstall.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

class Iconv {
  public:
    Iconv(const char* to, const char* from) : m_cd(::iconv_open(to, from)) {}
    ~Iconv() {
        if (Ok()) ::iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

  private:
    iconv_t m_cd;
};

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    Iconv cd("UTF-8", "GBK");
    if (!cd.Ok()) return std::string(gbk);
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t rc = ::iconv(cd.Get(), &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // Not GBK (or cut short at the end): one replacement character for the byte.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        ::iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::string CleanInfoValue(std::string_view utf8) {
    const std::u16string in = platform::Utf8ToUtf16(utf8);
    std::u16string noCodes;
    for (std::size_t i = 0; i < in.size();) {
        if (in[i] != u'|') {
            noCodes += in[i++];
            continue;
        }
        const std::size_t following = in.size() - i - 1;
        if (following > 0 && (in[i + 1] == u'c' || in[i + 1] == u'C'))
            i += 10;
        else if (following <= 9)
            i += 2;
        else
            i += 10;
    }
    std::u16string out;
    for (std::size_t i = 0; i < noCodes.size();) {
        if (noCodes[i] == u' ' && i >= 5) {
            std::size_t run = i;
            while (run < noCodes.size() && noCodes[run] == u' ') ++run;
            if (run - i >= 4) {
                out += u'\n';
                i = run;
                continue;
            }
        }
        out += noCodes[i++];
    }
    return platform::Utf16ToUtf8(out);
}

std::map<std::string, std::string> ParseAddOnInfo(std::string_view utf8) {
    std::map<std::string, std::string> entries;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::size_t end = utf8.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = utf8.size();
        const std::u16string line = platform::Utf8ToUtf16(utf8.substr(pos, end - pos));
        pos = end + 1;
        // The key is at least one character and ends before the first '=' after it.
        const std::size_t eq = line.size() > 1 ? line.find(u'=', 1) : std::u16string::npos;
        if (eq == std::u16string::npos) continue;
        std::size_t keyEnd = eq;
        while (keyEnd > 1 && IsBlank(line[keyEnd - 1])) --keyEnd;
        std::size_t valueStart = eq + 1;
        while (valueStart < line.size() && IsBlank(line[valueStart])) ++valueStart;
        std::size_t valueEnd = line.size();
        while (valueEnd > valueStart && IsBlank(line[valueEnd - 1])) --valueEnd;
        const std::string key = platform::Utf16ToUtf8(line.substr(0, keyEnd));
        if (key.rfind("lua", 0) == 0) continue;
        entries[key] =
            CleanInfoValue(platform::Utf16ToUtf8(line.substr(valueStart, valueEnd - valueStart)));
    }
    return entries;
}

std::optional<std::map<std::string, std::string>> ReadAddOnInfoFile(const fs::path& folder) {
    std::error_code ec;
    fs::path info;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (platform::AsciiLower(name) != kAddOnInfoFile || !it->is_regular_file(typeError))
            continue;
        if (info.empty() || name == kAddOnInfoFile) info = it->path();
    }
    if (info.empty()) return std::nullopt;
    // Bounded as it is read: a file past the bound is too large, however it grew.
    std::ifstream in(info, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    char block[16384];
    while (in) {
        in.read(block, sizeof block);
        bytes.append(block, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxAddOnInfoSize) return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    return ParseAddOnInfo(GbkToUtf8(bytes));
}

std::optional<AddOnFolder> AddOnFolderOf(const std::string& fullPath, const std::string& base) {
    std::optional<std::string> below = InterfaceRelativePath(fullPath, base);
    if (!below) return std::nullopt;
    const std::size_t slash = below->find('/');
    if (slash == std::string::npos || slash == 0) return std::nullopt;
    AddOnFolder at;
    at.name = below->substr(0, slash);
    at.path = fullPath.substr(0, fullPath.size() - below->size()) + at.name;
    return at;
}

bool IsOurAddOnFolder(const fs::path& folder) {
    std::optional<std::map<std::string, std::string>> info = ReadAddOnInfoFile(folder);
    if (!info) return false;
    auto revision = info->find(kRevisionKey);
    return revision != info->end() && revision->second == kRevisionOurs;
}

std::optional<AddOnRecord> ReadAddOnFolder(const fs::path& folder, ArchiveFiles archives) {
    std::optional<std::map<std::string, std::string>> properties = ReadAddOnInfoFile(folder);
    if (!properties) return std::nullopt;

    AddOnRecord record;
    record.folder = folder.filename().string();
    record.properties = std::move(*properties);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                             ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string rel = it->path().lexically_relative(folder).generic_string();
        if (archives == ArchiveFiles::Skip && rel.size() >= 2 &&
            rel.compare(rel.size() - 2, 2, ".z") == 0)
            continue;
        if (std::optional<std::string> sum = platform::Md5HexOfFile(it->path()))
            record.files[rel] = *sum;
    }
    return record;
}

}  // namespace vm
