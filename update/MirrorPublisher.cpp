#include "update/MirrorPublisher.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "app/Version.h"
#include "archive/SafePath.h"
#include "archive/ZipArchive.h"
#include "net/HttpUrl.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "platform/Text.h"
#include "platform/Utf8.h"
#include "update/ChecksumText.h"
#include "update/FileListParser.h"
#include "update/MirrorEndpoints.h"
#include "update/ProgramSignature.h"
#include "update/UpdateInfo.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

constexpr char kInfoHeader[] = "# Velmora 更新信息，由 velmora publish 生成\r\n";

struct SourceFile {
    std::string relative;  // below the add-on folder (or Interface for loose files), '/' form
    fs::path source;
    std::string bytes;
    std::string checksum;
};

struct SourceAddOn {
    std::string folder;
    bool optional = false;
    std::vector<SourceFile> files;
};

struct Plan {
    std::vector<SourceFile> looseFiles;
    std::vector<SourceAddOn> addOns;
    std::string listXml;
    UpdateInfoMap info;
    std::vector<std::pair<fs::path, std::string>> programFiles;   // copies for Client/Updater
    std::vector<std::pair<std::string, std::string>> signatures;  // mirror path, NAME.sig text
};

bool IsPlainFolderChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// A name from the add-on folder that the list and every client can carry unchanged: safe
// below Interface, UTF-8 without control characters (the list's XML would not keep them),
// and fetched as itself through the request path every client builds for it.
bool IsPublishableName(const std::string& relative) {
    auto safe = SafeRelativePath(relative);
    if (!safe || *safe != relative || !IsValidUtf8(relative)) return false;
    for (const char c : relative)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    const std::string requested = EncodeUrlPath("/" + relative);
    const std::optional<HttpUrl> url = ParseHttpUrl("http://mirror" + requested);
    return url && url->object == requested && DecodeUrlPath(requested) == "/" + relative;
}

bool IsInside(const fs::path& inner, const fs::path& outer) {
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

std::string ReadError(const fs::path& path) {
    return "无法读取文件：" + path.string() + "（" + platform::ErrnoText(errno ? errno : EIO) +
           "）";
}

// Every regular file below dir, sorted by relative path; links and special files are left
// out so nothing from outside the add-on folder gets published.
bool CollectFiles(const fs::path& dir, const std::string& prefix, std::vector<SourceFile>& out,
                  std::string& error) {
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_symlink(typeError) || !it->is_regular_file(typeError)) continue;
        const std::string relative = it->path().lexically_relative(dir).generic_string();
        if (!IsPublishableName(prefix + relative)) {
            error = "文件名无法发布：" + it->path().string();
            return false;
        }
        SourceFile file{relative, it->path(), {}, {}};
        auto bytes = platform::ReadWholeFile(file.source);
        if (!bytes) {
            error = ReadError(file.source);
            return false;
        }
        file.bytes = std::move(*bytes);
        file.checksum = platform::Md5Hex(file.bytes);
        out.push_back(std::move(file));
    }
    if (ec) {
        error = "无法读取目录：" + dir.string() + "（" + ec.message() + "）";
        return false;
    }
    std::sort(out.begin(), out.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.relative < b.relative; });
    return true;
}

std::string BuildListXml(const Plan& plan) {
    tinyxml2::XMLPrinter printer;
    printer.PushDeclaration("xml version=\"1.0\" encoding=\"UTF-8\"");
    printer.OpenElement("AddOns");
    for (const SourceFile& file : plan.looseFiles) {
        printer.OpenElement("File");
        printer.PushAttribute("path", file.relative.c_str());
        printer.PushAttribute("checksum", file.checksum.c_str());
        printer.CloseElement();
    }
    for (const SourceAddOn& addOn : plan.addOns) {
        printer.OpenElement("AddOn");
        printer.PushAttribute("folder", addOn.folder.c_str());
        if (addOn.optional) printer.PushAttribute(kOptionAttribute, "1");
        for (const SourceFile& file : addOn.files) {
            printer.OpenElement("File");
            printer.PushAttribute("path", file.relative.c_str());
            printer.PushAttribute("checksum", file.checksum.c_str());
            printer.CloseElement();
        }
        printer.CloseElement();
    }
    printer.CloseElement();
    return printer.CStr();
}

// Lines of a change-log file as a block value: each line followed by CR LF.
std::string ChangeLogValue(const std::string& text) {
    std::string value;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        value.append(text, start, end - start);
        value += "\r\n";
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return value;
}

// Client or Updater: a local file is copied next to "Info", anything else must already be a
// path on the mirror.
bool ProgramFileValue(const std::string& given, const char* key, Plan& plan, std::string& value,
                      std::string& error) {
    std::error_code ec;
    if (fs::is_regular_file(given, ec)) {
        const std::string name = fs::path(given).filename().string();
        if (!IsPublishableName(name) || !IsWritableInfoValue(name)) {
            error = std::string("文件名无法发布：") + given;
            return false;
        }
        auto bytes = platform::ReadWholeFile(given);
        if (!bytes) {
            error = ReadError(given);
            return false;
        }
        value = std::string("/") + kMirrorProgramFolder + "/" + name;
        plan.programFiles.emplace_back(fs::path(kMirrorProgramFolder) / name, std::move(*bytes));
        return true;
    }
    if (given.empty() || given.front() != '/' || !IsWritableInfoValue(given)) {
        error = std::string("--") + key + " 需要一个存在的文件或以 / 开头的服务器路径：" + given;
        return false;
    }
    value = given;
    return true;
}

bool ValidFolder(const std::string& folder) {
    if (folder.size() < 2 || folder.front() != '/') return false;
    if (!std::all_of(folder.begin(), folder.end(),
                     [](char c) { return c == '/' || IsPlainFolderChar(c); }))
        return false;
    auto safe = SafeRelativePath(folder.substr(1));
    if (!safe || *safe != folder.substr(1)) return false;
    const std::string first = safe->substr(0, safe->find('/'));
    return platform::AsciiLower(first) != platform::AsciiLower(kMirrorProgramFolder);
}

std::optional<std::string> ReadListOf(const fs::path& mirrorDir, const std::string& folder) {
    auto archive = platform::ReadWholeFile(mirrorDir / folder.substr(1) / kFileListArchiveName);
    if (!archive) return std::nullopt;
    return ReadZipEntry(*archive, kFileListName);
}

bool WriteFile(const fs::path& path, const std::string& bytes, std::string& error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!ec && platform::WriteFileAtomic(path, bytes)) return true;
    error = "无法写入文件：" + path.string() + "（" +
            (ec ? ec.message() : platform::ErrnoText(errno ? errno : EIO)) + "）";
    return false;
}

bool WriteWithArchive(const fs::path& path, const std::string& bytes, std::string& error) {
    auto archive = MakeZip({{path.filename().string(), bytes}});
    if (!archive) {
        error = "无法生成压缩文件：" + path.string() + kArchiveSuffix;
        return false;
    }
    return WriteFile(path, bytes, error) &&
           WriteFile(path.string() + kArchiveSuffix, *archive, error);
}

// Signs the program the update information names under key as role, from the copy this run
// publishes or else from the file already on the mirror.
bool SignProgramFile(const fs::path& mirror, const std::string& key, ProgramRole role,
                     const std::string& privateKey, Plan& plan, std::string& error) {
    const auto it = plan.info.find(key);
    if (it == plan.info.end()) return true;
    const std::string& path = it->second;
    const std::optional<std::string> relative =
        path.empty() || path.front() != '/' ? std::nullopt : SafeRelativePath(path.substr(1));
    if (!relative) {
        error = "无法签名：" + path + " 不是镜像中的路径。";
        return false;
    }
    std::optional<std::string> bytes;
    for (const auto& [file, content] : plan.programFiles)
        if (file.generic_string() == *relative) bytes = content;
    if (!bytes) bytes = platform::ReadWholeFile(mirror / *relative);
    if (!bytes) {
        error = "无法签名：镜像中没有 " + path + "。";
        return false;
    }
    auto text = SignProgram(Sha512Hex(*bytes), role, plan.info[kInfoVersion], privateKey, error);
    if (!text) return false;
    plan.signatures.emplace_back(*relative + kSignatureSuffix, std::move(*text));
    return true;
}

PublishResult Fail(std::string error) {
    PublishResult result;
    result.error = std::move(error);
    return result;
}

}  // namespace

std::string DefaultSetFolder(const std::string& setName) {
    if (!setName.empty() && std::all_of(setName.begin(), setName.end(), IsPlainFolderChar) &&
        setName != "." && setName != ".." &&
        platform::AsciiLower(setName) != platform::AsciiLower(kMirrorProgramFolder))
        return "/" + setName;
    return "/set-" + platform::Md5Hex(setName).substr(0, 8);
}

PublishResult PublishMirror(const PublishOptions& options) {
    const std::string key = kInfoSetPrefix + options.setName;
    if (options.setName.empty() || !IsWritableInfoKey(key) || !IsValidUtf8(options.setName))
        return Fail("插件集名称无效：" + options.setName);
    const std::string folder = options.folder.value_or(DefaultSetFolder(options.setName));
    if (!ValidFolder(folder)) return Fail("服务器目录无效：" + folder);

    std::error_code ec;
    const fs::path addons = fs::canonical(options.addonsDir, ec);
    if (ec || !fs::is_directory(addons))
        return Fail("插件目录不存在：" + options.addonsDir.string());
    // Checked before the mirror folder is created, so a refused run leaves nothing behind.
    const fs::path mirrorTarget = fs::weakly_canonical(fs::absolute(options.mirrorDir, ec), ec);
    if (ec || IsInside(mirrorTarget, addons) || IsInside(addons, mirrorTarget))
        return Fail("插件目录与镜像目录不能相互包含。");
    fs::create_directories(options.mirrorDir, ec);
    const fs::path mirror = fs::canonical(options.mirrorDir, ec);
    if (ec) return Fail("无法创建镜像目录：" + options.mirrorDir.string());

    Plan plan;
    std::string error;

    // What earlier runs published stays in "Info".
    const fs::path infoArchive =
        mirror / kMirrorProgramFolder / (std::string(kInfoFileName) + kArchiveSuffix);
    if (fs::exists(infoArchive, ec)) {
        auto archive = platform::ReadWholeFile(infoArchive);
        std::optional<std::string> bytes;
        if (archive) bytes = ReadZipEntry(*archive, kInfoFileName);
        if (!bytes) return Fail("无法读取已有的更新信息：" + infoArchive.string());
        ParseInfoText(DecodeInfoBytes(*bytes), plan.info);
    }
    for (const auto& [name, setFolder] : PublishedSetsOf(plan.info)) {
        if (name != options.setName && setFolder == folder)
            return Fail("服务器目录 " + folder + " 已被插件集 " + name + " 使用。");
    }

    // The add-ons: every folder is one, every loose file goes straight below Interface.
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(addons, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        entries.push_back(*it);
    if (ec) return Fail("无法读取目录：" + addons.string());
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
        std::error_code typeError;
        if (entry.is_symlink(typeError)) continue;
        const std::string name = entry.path().filename().string();
        if (entry.is_directory(typeError)) {
            if (!IsPublishableName(name) || !IsWritableInfoValue(name))
                return Fail("插件目录名无法发布：" + entry.path().string());
            SourceAddOn addOn{name, false, {}};
            if (!CollectFiles(entry.path(), name + "/", addOn.files, error)) return Fail(error);
            plan.addOns.push_back(std::move(addOn));
        } else if (entry.is_regular_file(typeError)) {
            if (!IsPublishableName(name)) return Fail("文件名无法发布：" + entry.path().string());
            auto bytes = platform::ReadWholeFile(entry.path());
            if (!bytes) return Fail(ReadError(entry.path()));
            plan.looseFiles.push_back({name, entry.path(), *bytes, platform::Md5Hex(*bytes)});
        }
    }
    for (const std::string& optional : options.optionalFolders) {
        auto it = std::find_if(plan.addOns.begin(), plan.addOns.end(),
                               [&](const SourceAddOn& a) { return a.folder == optional; });
        if (it == plan.addOns.end()) return Fail("找不到可选插件目录：" + optional);
        it->optional = true;
    }
    plan.listXml = BuildListXml(plan);

    // The update information.
    plan.info[key] = folder;
    if (options.version) {
        if (!IsWritableInfoValue(*options.version)) return Fail("版本号无效：" + *options.version);
        plan.info[kInfoVersion] = *options.version;
    } else if (!plan.info.count(kInfoVersion)) {
        plan.info[kInfoVersion] = kProgramVersion;
    }
    std::string value;
    if (options.client) {
        if (!ProgramFileValue(*options.client, "client", plan, value, error)) return Fail(error);
        plan.info[kInfoClient] = value;
    }
    if (options.updater) {
        if (!ProgramFileValue(*options.updater, "updater", plan, value, error)) return Fail(error);
        plan.info[kInfoUpdater] = value;
    }
    if (options.noCache) plan.info[kInfoNoCacheMode] = "1";
    if (options.changelog) {
        auto text = platform::ReadWholeFile(*options.changelog);
        if (!text) return Fail(ReadError(*options.changelog));
        plan.info[kInfoChangeLog] = ChangeLogValue(*text);
    }
    if (options.signingKey) {
        auto privateKey = platform::ReadWholeFile(*options.signingKey);
        if (!privateKey) return Fail(ReadError(*options.signingKey));
        if (!plan.info.count(kInfoClient) && !plan.info.count(kInfoUpdater))
            return Fail("没有可签名的程序：请用 --client 或 --updater 指定。");
        if (!SignProgramFile(mirror, kInfoClient, ProgramRole::Client, *privateKey, plan, error) ||
            !SignProgramFile(mirror, kInfoUpdater, ProgramRole::Updater, *privateKey, plan, error))
            return Fail(error);
    }
    const std::string infoBytes = EncodeInfoBytes(kInfoHeader + FormatInfoText(plan.info));

    // A client without a choice follows the first set in key order; checksum.txt names its list.
    const auto sets = PublishedSetsOf(plan.info);
    std::string firstList = plan.listXml;
    if (sets.front().first != options.setName) {
        auto list = ReadListOf(mirror, sets.front().second);
        if (!list) return Fail("无法读取插件集 " + sets.front().first + " 的文件列表。");
        firstList = std::move(*list);
    }
    ExpectedChecksums sums{platform::Md5Hex(infoBytes), platform::Md5Hex(firstList)};

    auto listArchive = MakeZip({{kFileListName, plan.listXml}});
    auto infoZip = MakeZip({{kInfoFileName, infoBytes}});
    if (!listArchive || !infoZip) return Fail("无法生成压缩文件。");

    // Files first, then the list, then "Info", the checksums last: a client that reads the
    // mirror while it is written sees an old or a new state, never a list without its files.
    const fs::path interface = mirror / folder.substr(1) / "Interface";
    PublishResult result;
    for (const SourceFile& file : plan.looseFiles) {
        if (!WriteWithArchive(interface / file.relative, file.bytes, error)) return Fail(error);
        ++result.files;
    }
    for (const SourceAddOn& addOn : plan.addOns) {
        for (const SourceFile& file : addOn.files) {
            if (!WriteWithArchive(interface / addOn.folder / file.relative, file.bytes, error))
                return Fail(error);
            ++result.files;
        }
    }
    for (const auto& [relative, bytes] : plan.programFiles) {
        // A signature never stays beside a program it was not made for.
        std::error_code removeError;
        fs::remove(mirror / (relative.string() + kSignatureSuffix), removeError);
        if (removeError) return Fail("无法删除旧的签名：" + relative.string() + kSignatureSuffix);
        if (!WriteFile(mirror / relative, bytes, error)) return Fail(error);
    }
    for (const auto& [relative, text] : plan.signatures) {
        if (!WriteFile(mirror / relative, text, error)) return Fail(error);
        result.signatures.push_back("/" + relative);
    }
    if (!WriteFile(mirror / folder.substr(1) / kFileListArchiveName, *listArchive, error) ||
        !WriteFile(infoArchive, *infoZip, error) ||
        !WriteFile(mirror / kMirrorProgramFolder / kChecksumFileName, FormatChecksumText(sums),
                   error))
        return Fail(error);

    result.ok = true;
    result.setFolder = folder;
    result.addOns = plan.addOns.size();
    result.infoChecksum = sums.info;
    result.listChecksum = sums.list;
    return result;
}

}  // namespace vm
