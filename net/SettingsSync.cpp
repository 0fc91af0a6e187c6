#include "net/SettingsSync.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/TemporaryFolder.h"
#include "app/messages.h"
#include "archive/ZipArchive.h"
#include "net/CDownloadConfigThread.h"
#include "net/CUploadConfigThread.h"
#include "net/HttpFetch.h"
#include "net/HttpUrl.h"
#include "net/Multipart.h"
#include "net/NetMessages.h"
#include "net/OneShot.h"
#include "net/RequestLimits.h"
#include "net/endpoints.h"
#include "platform/FileAttributes.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

constexpr char kNoSettings[] = "没找到配置文件";
constexpr char kUnknownError[] = "未知错误";
constexpr char kUnknownErrorFormat[] = "未知错误：";
constexpr char kNoAccountFolder[] = "游戏路径设置无效，找不到账号配置目录：";
constexpr char kBadTicketPath[] = "服务器给出的下载地址无效：";

bool EndsWith(std::string_view name, std::string_view tail) {
    return name.size() >= tail.size() && name.substr(name.size() - tail.size()) == tail;
}

enum class TopRule { AllButEla, OnlyEla };

constexpr char kStagingTag[] = ".restore-";
constexpr char kParkedTag[] = ".old-";
constexpr std::size_t kUniqueChars = 6;  // what mkdtemp puts in place of "XXXXXX"

// The folder a restore work folder stands for ("Alice" for ".Alice.old-a1B2c3"), and whether
// it is a parked one; nullopt for any other name.
std::optional<std::pair<std::string, bool>> WorkFolderOwner(std::string_view name) {
    if (name.size() < 2 || name.front() != '.' || name.size() < kUniqueChars) return std::nullopt;
    const std::string_view unique = name.substr(name.size() - kUniqueChars);
    if (!std::all_of(unique.begin(), unique.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        }))
        return std::nullopt;
    const std::string_view rest = name.substr(1, name.size() - 1 - kUniqueChars);
    for (const std::string_view tag :
         {std::string_view(kStagingTag), std::string_view(kParkedTag)}) {
        if (rest.size() > tag.size() && EndsWith(rest, tag))
            return std::pair{std::string(rest.substr(0, rest.size() - tag.size())),
                             tag == kParkedTag};
    }
    return std::nullopt;
}

bool KeepFile(const std::string& name, int depth, TopRule rule) {
    if (depth == 0) return (rule == TopRule::OnlyEla) == EndsWith(name, "ela");
    const std::string lower = platform::AsciiLower(name);
    return EndsWith(lower, "dat") || EndsWith(lower, "ini");
}

// Entries of a folder in name order, links left out (nothing outside the folder is packed).
std::vector<fs::directory_entry> Listing(const fs::path& folder, std::error_code& ec) {
    std::vector<fs::directory_entry> out;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (!it->is_symlink()) out.push_back(*it);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    return out;
}

// Collects the entries to pack below folder, in name order, folders before their content.
bool CollectEntries(const fs::path& folder, const std::string& prefix, int depth, TopRule rule,
                    std::vector<ZipFileEntry>& out, std::string& error) {
    std::error_code ec;
    for (const fs::directory_entry& e : Listing(folder, ec)) {
        const std::string name = e.path().filename().string();
        const std::string entry = prefix + name;
        // A killed restore's folder holds nobody's settings.
        if (depth == 0 && IsRestoreWorkFolder(name)) continue;
        if (e.is_directory(ec)) {
            out.push_back({entry, {}});
            if (!CollectEntries(e.path(), entry + "/", depth + 1, rule, out, error)) return false;
        } else if (e.is_regular_file(ec) && KeepFile(name, depth, rule)) {
            out.push_back({entry, e.path()});
        }
    }
    if (ec) {
        error = platform::ErrnoText(ec.value());
        return false;
    }
    return true;
}

void ShowPackError(const std::string& detail) {
    ShowNetMessage("打包配置文件失败：" + detail);
}

void ShowRestoreError(const std::string& detail) {
    ShowNetMessage("恢复配置失败：" + detail + "\n原有的配置没有改动。");
}

fs::path AccountFolderOf(const std::optional<std::string>& subFolder) {
    fs::path folder = AccountFolder();
    if (folder.empty()) return folder;
    if (subFolder && !subFolder->empty()) folder /= *subFolder;
    return folder;
}

// A fresh, unused name beside path for a staging or a parked folder.
std::optional<fs::path> MakeSiblingFolder(const fs::path& path, const char* tag) {
    // Built by appending: GCC 12 misreads `"." + std::string&&` at -O3 as an overlapping copy.
    std::string name = ".";
    name += path.filename().string();
    name += tag;
    name += "XXXXXX";
    std::string tmpl = (path.parent_path() / name).string();
    if (!::mkdtemp(tmpl.data())) return std::nullopt;
    return fs::path(tmpl);
}

// Held while a restore works below the Account folder (one lock per folder, for this user),
// so whatever work folder a restore finds there belongs to one that was killed.
platform::UniqueFd LockRestores() {
    const std::string key = AccountFolder().string();
    platform::UniqueFd fd(
        ::open(TemporaryFile("account-" + platform::Md5Hex(key) + ".lock").c_str(),
               O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Valid() && ::flock(fd.Get(), LOCK_EX) != 0) fd.Reset();
    return fd;
}

// Clears what killed restores left in folder (of owner only, when given): a parked folder
// whose owner is gone goes back in its place (it holds the last good settings), every other
// work folder is removed.
void SweepRestoreLeftovers(const fs::path& folder, const std::optional<std::string>& owner) {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (auto of = WorkFolderOwner(it->path().filename().string());
            of && (!owner || of->first == *owner) && !it->is_symlink(ec))
            found.push_back(it->path());
    std::sort(found.begin(), found.end());
    for (const fs::path& work : found) {
        const auto of = WorkFolderOwner(work.filename().string());
        const fs::path place = folder / of->first;
        if (of->second && fs::symlink_status(place, ec).type() == fs::file_type::not_found &&
            ::rename(work.c_str(), place.c_str()) == 0)
            continue;
        DeleteFolderTree(work);
    }
}

std::string Line(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return std::string(text);
}

}  // namespace

fs::path AccountFolder() {
    return GameAccountFolder();
}

fs::path SettingsArchive() {
    return TemporaryFile(kSettingsArchiveName);
}

bool PackAccountFolder(const std::optional<std::string>& subFolder, const fs::path& archive) {
    const fs::path folder = AccountFolderOf(subFolder);
    if (folder.empty()) return false;  // nothing of ours to pack: "没找到配置文件"
    std::error_code ec;
    if (Listing(folder, ec).empty()) return false;

    std::vector<ZipFileEntry> entries;
    std::string error;
    if (!CollectEntries(folder, "", 0, subFolder ? TopRule::OnlyEla : TopRule::AllButEla, entries,
                        error)) {
        ShowPackError(error);
        return false;
    }
    // An archive without entries is never written; there is nothing to send either.
    if (entries.empty()) return false;
    if (!WriteZipFile(archive, entries, error)) {
        ShowPackError(error);
        return false;
    }
    return true;
}

bool IsRestoreWorkFolder(std::string_view name) {
    return WorkFolderOwner(name).has_value();
}

bool DeleteFolderTree(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (st.type() == fs::file_type::not_found) return true;
    if (st.type() == fs::file_type::directory) {
        // Entries of a folder without the write bit cannot be removed.
        platform::ClearFileAttributes(path);
        std::vector<fs::path> children;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            children.push_back(it->path());
        if (ec) return false;
        for (const fs::path& child : children)
            if (!DeleteFolderTree(child)) return false;
    }
    return fs::remove(path, ec) && !ec;
}

bool RestoreAccountFolder(const std::optional<std::string>& subFolder, const fs::path& archive) {
    const fs::path target = AccountFolderOf(subFolder);
    if (target.empty()) {
        ShowRestoreError(kNoAccountFolder + theApp().GetProfile(settings::kCustomPath));
        return false;
    }
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const platform::UniqueFd lock = LockRestores();
    // Inside the Account folder every work folder is one of ours; beside it only Account's own.
    if (lock.Valid())
        SweepRestoreLeftovers(target.parent_path(),
                              subFolder ? std::nullopt : std::optional(target.filename().string()));
    std::optional<fs::path> staging = MakeSiblingFolder(target, kStagingTag);
    if (!staging) {
        ShowRestoreError(platform::ErrnoText(errno));
        return false;
    }
    ZipExtractResult extracted = ExtractZipFile(archive, *staging);
    if (!extracted.Complete()) {
        DeleteFolderTree(*staging);
        ShowRestoreError(!extracted.error.empty()
                             ? extracted.error
                             : "压缩文件中含有不安全的路径：" + extracted.refused.front());
        return false;
    }
    ::chmod(staging->c_str(), 0755);

    // Park the old folder (or file) under a fresh name, move the new one in, then remove the
    // parked one; if the move fails the old one goes back.
    std::optional<fs::path> parked;
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
        parked = MakeSiblingFolder(target, kParkedTag);
        if (!parked || ::rmdir(parked->c_str()) != 0 ||
            ::rename(target.c_str(), parked->c_str()) != 0) {
            const int err = errno;
            DeleteFolderTree(*staging);
            ShowRestoreError(platform::ErrnoText(err));
            return false;
        }
    }
    if (::rename(staging->c_str(), target.c_str()) != 0) {
        const int err = errno;
        if (parked) ::rename(parked->c_str(), target.c_str());
        DeleteFolderTree(*staging);
        ShowRestoreError(platform::ErrnoText(err));
        return false;
    }
    if (parked) DeleteFolderTree(*parked);
    return true;
}

std::optional<std::string> UploadAnswerError(std::string_view answer) {
    if (answer.starts_with("success")) return std::nullopt;
    if (answer.starts_with("error"))
        return std::string(answer.substr(std::min<std::size_t>(6, answer.size())));
    return kUnknownErrorFormat + std::string(answer);
}

DownloadTicket ParseDownloadTicket(std::string_view answer) {
    DownloadTicket ticket;
    if (answer.empty()) {
        ticket.error = kUnknownError;
        return ticket;
    }
    const auto lf = answer.find('\n');
    const std::string first = Line(answer.substr(0, lf));
    const std::string second =
        lf == std::string_view::npos
            ? std::string()
            : Line(answer.substr(lf + 1).substr(0, answer.substr(lf + 1).find('\n')));
    if (first == "success" && !second.empty()) {
        // The server names a path on its own origin; a value that would lead elsewhere (another
        // host, port or scheme) is never followed.
        const std::string url = PassportOrigin() + second;
        const std::optional<HttpUrl> passport = ParseHttpUrl(PassportOrigin());
        const std::optional<HttpUrl> parsed = ParseHttpUrl(url);
        const bool plainPath =
            second[0] == '/' && second.find_first_of("\\@") == std::string::npos &&
            std::none_of(second.begin(), second.end(),
                         [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
        if (plainPath && passport && parsed && parsed->Origin() == passport->Origin() &&
            parsed->object == second)
            ticket.url = url;
        else
            ticket.error = kBadTicketPath + platform::WithoutControlCharacters(second);
    } else if (first.starts_with("error"))
        ticket.error = first.substr(std::min<std::size_t>(6, first.size()));
    else
        ticket.error = kUnknownErrorFormat + first;
    return ticket;
}

int CUploadConfigThread::RunTask() {
    auto fail = [this](std::string reason) {
        PostTo(m_pMainWnd, WM_VM_CONFIG_UPLOAD_FAILED, 0, 0, std::move(reason));
        return 0;
    };
    const fs::path archive = SettingsArchive();
    if (!PackAccountFolder(std::nullopt, archive)) return fail(kNoSettings);
    std::optional<std::string> bytes = platform::ReadWholeFile(archive);
    if (!bytes) return fail(FileErrorText(archive, errno ? errno : EIO));

    const std::string cookies = BuildPassportCookieHeader(CookieSource::WithSessionList);
    std::string error;
    std::optional<OneShotResult> answer = OneShotRequest(
        "POST", PassportUploadUrl(), OneShotFlags::NoCacheWrite | OneShotFlags::NoAutoCookies,
        kPassportMultipartHeader, BuildPassportMultipart(kPassportBoundary, *bytes), cookies,
        &error);
    if (!answer) return fail(NetworkErrorText(error));
    if (std::optional<std::string> reason = UploadAnswerError(answer->body))
        return fail(std::move(*reason));
    PostTo(m_pMainWnd, WM_VM_CONFIG_UPLOAD_DONE);
    return 0;
}

int CDownloadConfigThread::RunTask() {
    const std::string cookies = BuildPassportCookieHeader(CookieSource::WithSessionList);
    std::string error;
    std::optional<OneShotResult> answer = OneShotRequest(
        "GET", PassportDownloadUrl(), OneShotFlags::NoCacheWrite | OneShotFlags::NoAutoCookies, {},
        {}, cookies, &error);
    if (!answer) {
        m_errorMessage = NetworkErrorText(error);
    } else {
        DownloadTicket ticket = ParseDownloadTicket(answer->body);
        if (ticket.url)
            m_downloadUrl = *ticket.url;
        else
            m_errorMessage = ticket.error;
    }
    if (m_downloadUrl.empty()) {
        PostTo(m_pMainWnd, WM_VM_CONFIG_DOWNLOAD_FAILED, 0, 0,
               std::optional<std::string>(m_errorMessage));
        return 0;
    }
    // The fetch and the restore show their own reasons; the old folder stays on failure.
    const fs::path archive = SettingsArchive();
    if (HttpFetchToFile(m_downloadUrl, archive, CurrentRequestLimits().settingsArchiveCap) != 0 ||
        !RestoreAccountFolder(std::nullopt, archive)) {
        PostTo(m_pMainWnd, WM_VM_CONFIG_DOWNLOAD_FAILED, 0, 0, std::optional<std::string>());
        return 0;
    }
    PostTo(m_pMainWnd, WM_VM_CONFIG_DOWNLOAD_DONE);
    return 0;
}

}  // namespace vm
