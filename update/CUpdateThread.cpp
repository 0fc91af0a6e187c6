#include "update/CUpdateThread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <set>
#include <system_error>
#include <thread>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "archive/ZipArchive.h"
#include "net/HttpUrl.h"
#include "net/RequestLimits.h"
#include "net/Statistics.h"
#include "platform/Clock.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "platform/Text.h"
#include "update/AddOnInfo.h"
#include "update/CFileListModel.h"
#include "update/DiskComparison.h"
#include "update/Download.h"
#include "update/FileEntries.h"
#include "update/FileInstall.h"
#include "update/FileListParser.h"
#include "update/InterfaceWalk.h"
#include "update/LookAhead.h"
#include "update/SelfUpdate.h"
#include "update/UpdateInfo.h"
#include "update/UpdateInfoFetch.h"
#include "update/UpdateRunLock.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

constexpr char kAlreadyToday[] = "今天已经更新，不再需要更新。";
constexpr char kChecking[] = "检测需要更新的文件...";
constexpr char kCommitFailed[] = "提交更新时发生错误，请尝试重新更新。";
constexpr char kCancelled[] = "更新已经取消。";
constexpr char kFailed[] = "更新失败。";
constexpr char kNothingToDo[] = "没有需要更新的文件。";
constexpr char kDone[] = "更新完成。";
constexpr char kAlreadyRunning[] = "另一个更新正在进行，请等它结束后再试。";
constexpr char kNoSets[] = "更新信息中没有任何插件集，无法更新。";
constexpr char kListUnreadable[] = "更新文件列表无法解析。";
constexpr char kMirrorUnreachable[] =
    "无法从更新服务器取得更新信息，请检查网络连接，或在设置中换一个更新服务器后重新更新。";
// Files whose archives may be fetched ahead of the one being written: at least four, and two
// per connection, so that one slow archive holds no connection idle while the ones behind it
// are done (their memory has one cap of its own, RequestLimits::lookAheadBytes).
constexpr std::size_t kFilesAhead = 4;
constexpr std::size_t kFilesAheadPerConnection = 2;

constexpr char kFallbackLock[] = "游戏目录所在的文件系统不支持文件锁，改用临时文件夹中的锁。";

// g_updateRunning is 1 while a run that holds the folder works.
struct RunningFlag {
    RunningFlag() { g_updateRunning.store(1); }
    ~RunningFlag() { g_updateRunning.store(0); }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
};

bool Cancelled() {
    return g_cancelUpdate.load() != 0;
}

std::string Format(const char* format, const std::string& a) {
    char text[1024];
    std::snprintf(text, sizeof text, format, a.c_str());
    return text;
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Slashes(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

// Where this game folder's run keeps its downloads: two installs updating at once never
// share a staged file (each file arrives under a fresh name in its own run's folder).
std::string StagingFolder(const std::string& temp, const std::string& gameFolder) {
    std::error_code ec;
    const fs::path real = fs::canonical(gameFolder, ec);
    return temp + "staging/" + platform::Md5Hex(ec ? gameFolder : real.string()).substr(0, 16) +
           "/";
}

}  // namespace

std::string CacheBuster() {
    CVelmoraApp& app = theApp();
    std::string id = app.Services().machineId.Get();
    if (id.empty()) {
        id = ComputeMachineId();
        app.Services().machineId.Set(id);
    }
    return id + std::to_string(static_cast<long long>(platform::UnixNow()));
}

int CUpdateThread::RunTask() {
    CVelmoraApp& app = theApp();
    m_gameFolder = GameFolder();
    // A game that was moved or removed: its folder is never made anew for the add-ons alone.
    if (std::error_code gone; !fs::is_directory(m_gameFolder, gone)) {
        SendStatus(m_pMainWnd, "找不到Tovrin的游戏目录：" + m_gameFolder +
                                   "。请在设置中重新指定Tovrin的位置，然后重新更新。");
        PostUpdateEnd(m_pMainWnd, UpdateOutcome::Failed);
        return 0;
    }
    std::unique_ptr<UpdateRunLock> lock = UpdateRunLock::TryAcquire(m_gameFolder);
    if (!lock) {
        SendStatus(m_pMainWnd, kAlreadyRunning);
        PostUpdateEnd(m_pMainWnd, UpdateOutcome::Failed);
        return 0;
    }
    if (lock->UsesFallback()) SendStatus(m_pMainWnd, kFallbackLock);
    RunningFlag running;

    // What the update-information job published before the run; a refresh replaces it with
    // what the run fetches itself (and publishes for the windows).
    m_info = app.PublishedState().updateInfo.Get();
    m_sets.names = app.PublishedState().sets.Get();
    m_sets.folders = app.PublishedState().setFolders.Get();
    if (app.Runs().refreshRequest.exchange(0)) {
        std::string slow;
        FetchChecksums(&slow);
        if (!slow.empty())
            SendStatus(m_pMainWnd, "无法获取校验信息（" + slow + "），沿用上次的校验信息。");
        if (std::optional<UpdateInfoMap> fetched = FetchInformation()) {
            m_info = std::move(*fetched);
            m_sets = PublishSets(m_info);
        } else if (m_sets.names.empty()) {
            // Nothing to go on: the mirror is the problem, not the sets it would publish.
            SendStatus(m_pMainWnd, kMirrorUnreachable);
            End(UpdateOutcome::Failed);
            return 0;
        }
    }
    if (RunOnceADayTest(m_clock) == DayTest::AlreadyDoneToday) {
        SendStatus(m_pMainWnd, kAlreadyToday);
        PostUpdateEnd(m_pMainWnd, UpdateOutcome::Succeeded);
        return 0;
    }
    SendStatus(m_pMainWnd, kChecking);
    if (RunSelfUpdateCheck(m_pMainWnd, CacheBuster(), *m_gates.shortcut) == SelfUpdateResult::Stop)
        return 0;

    std::error_code ec;
    fs::remove(fs::path(m_gameFolder) / kUpdaterFileName, ec);

    if (FileUpdate() == UpdateOutcome::Succeeded)
        PostUpdateEnd(m_pMainWnd, UpdateOutcome::Succeeded);
    return 0;
}

UpdateOutcome CUpdateThread::End(UpdateOutcome outcome) {
    SendStatus(m_pMainWnd, outcome == UpdateOutcome::Cancelled ? kCancelled : kFailed);
    SendTo(m_pMainWnd, WM_VM_TOTAL_PROGRESS, 0, 0);
    PostTo(m_pMainWnd, WM_VM_FILE_PROGRESS, 0, 0);
    PostUpdateEnd(m_pMainWnd, outcome);
    return outcome;
}

UpdateOutcome CUpdateThread::FileUpdate() {
    CVelmoraApp& app = theApp();
    const std::vector<std::string>& sets = m_sets.names;
    const std::map<std::string, std::string>& folders = m_sets.folders;
    if (sets.empty()) {
        SendStatus(m_pMainWnd, kNoSets);
        return End(UpdateOutcome::Failed);
    }
    const std::string version = app.GetProfile(settings::kVersion);
    std::string chosen = sets.front();
    for (const std::string& name : sets)
        if (!version.empty() && name == version) chosen = name;
    auto folder = folders.find(chosen);
    if (folder == folders.end()) {
        SendStatus(m_pMainWnd, kNoSets);
        return End(UpdateOutcome::Failed);
    }
    m_setFolder = folder->second;
    m_baseUrl = app.MirrorState().baseUrl.Get();
    auto noCache = m_info.find(kInfoNoCacheMode);
    m_noCache = noCache != m_info.end() && noCache->second == "1";

    std::string listUrl = m_baseUrl + EncodeUrlPath(m_setFolder + "/" + kFileListArchiveName);
    if (m_noCache) listUrl.append("?").append(CacheBuster());
    std::string listMd5;
    std::optional<std::string> document = FetchFileList(
        m_setFolder, listUrl,
        [this](const std::string& url, const fs::path& file) {
            DownloadFailure why;
            const int rc = Download(url, file, ProgressKind::None, 0, ShowErrors::Yes, m_pMainWnd,
                                    &why, CurrentRequestLimits().fileListCap);
            if (rc != 0 && !why.cancelled && why.httpStatus == 0)
                SendStatus(m_pMainWnd, "无法下载更新文件列表（" + why.reason + "）");
            return rc;
        },
        &listMd5);
    if (Cancelled()) return End(UpdateOutcome::Cancelled);
    if (!document) return End(UpdateOutcome::Failed);

    m_entries.clear();
    m_toDownload.clear();
    m_current.clear();
    m_localFiles.clear();
    m_removalCandidates.clear();
    m_listPaths.clear();
    const fs::path entriesFile = CachedFileEntriesPath(m_setFolder);
    if (std::optional<std::vector<tagFILEINFO>> known =
            LoadFileEntries(entriesFile, listMd5, CurrentRequestLimits().fileListCap * 4)) {
        // The same list as a run before: its entries need no parsing.
        m_entries = std::move(*known);
        document.reset();
    } else {
        // The parsed list is the run's own: only the entries built from it live on.
        CFileListModel model;
        // A list that does not parse must not stand for an empty one: that would offer every
        // installed add-on for removal.
        if (!ParseFileListDocument(*document, model)) {
            SendStatus(m_pMainWnd, kListUnreadable);
            return End(UpdateOutcome::Failed);
        }
        // Its memory serves the entries built next.
        document.reset();
        if (Cancelled()) return End(UpdateOutcome::Cancelled);
        m_entries = BuildFileEntries(model);
        // For the next run; without it that run parses the list again.
        (void)SaveFileEntries(entriesFile, listMd5, m_entries);
    }
    // One file per path: a path listed twice is fetched and installed once.
    DropConflictingEntries(m_entries);
    const std::string temp = TemporaryFolder();
    m_staging = StagingFolder(temp, m_gameFolder);
    // A name an older version let a mirror's archive leave here must not block the run.
    ClearFolderWay(m_staging);

    DiskComparison comparison = CompareWithDisk(m_entries, m_gameFolder);
    m_toDownload = std::move(comparison.toDownload);
    m_current = std::move(comparison.current);
    m_localFiles = std::move(comparison.localFiles);
    m_removalCandidates = std::move(comparison.removalCandidates);
    // Siblings of an install a crash interrupted; no other run is installing (we hold the
    // run lock), so they are nobody's.
    for (const std::string& leftover : comparison.leftovers)
        if (::unlink(leftover.c_str()) != 0 && errno != ENOENT)
            SendStatus(m_pMainWnd, "无法删除上次更新中断时留下的临时文件：" + leftover + "（" +
                                       platform::ErrnoText(errno) + "）");
    if (Cancelled()) return End(UpdateOutcome::Cancelled);

    // What earlier lists left in the staging folder goes, above all a file where a folder
    // must now be or the reverse.
    if (!m_toDownload.empty()) {
        std::set<std::string> listed;
        for (const tagFILEINFO& entry : m_entries) listed.insert(entry.localPath);
        PruneFolder(m_staging, listed);
    }

    // The next files' archives arrive while this one is written, over several connections to
    // the mirror at once (on a distant mirror each request waits a round trip), started in
    // list order; they are written, checked and reported in list order all the same.
    const std::size_t n = m_toDownload.size();
    const std::size_t connections =
        static_cast<std::size_t>(std::max(1, CurrentRequestLimits().connectionsPerHost));
    m_lookAheadMemory = std::make_unique<ByteBudget>(CurrentRequestLimits().lookAheadBytes);
    m_ahead = m_staging.substr(0, m_staging.size() - 1) + ".ahead/";
    // Archives that did not fit in memory; gone once the look-ahead has stopped.
    struct AheadFolder {
        std::string path;
        explicit AheadFolder(std::string p) : path(std::move(p)) { Clear(); }
        ~AheadFolder() { Clear(); }
        void Clear() const {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } aheadFolder(m_ahead);
    LookAhead<Prefetched> ahead(n, std::max(kFilesAhead, connections * kFilesAheadPerConnection),
                                connections, [this](std::size_t k) { return Prefetch(k); });
    for (std::size_t i = 0; i < n; ++i) {
        if (Cancelled()) return End(UpdateOutcome::Cancelled);
        const tagFILEINFO& entry = m_toDownload[i];
        const std::string shared = temp + entry.localPath;
        const std::string copy = m_staging + entry.localPath;
        SendStatus(m_pMainWnd, Format("更新文件：%s", FileNameOf(shared)));
        SendTo(m_pMainWnd, WM_VM_TOTAL_PROGRESS, i, static_cast<std::intptr_t>(n));
        Prefetched archive = ahead.Take();
        if (Cancelled()) return End(UpdateOutcome::Cancelled);
        // From an earlier run (checked again: the list may name one file twice).
        if (archive.staged && platform::Md5HexOfFile(copy) == entry.checksum) continue;
        if (archive.staged) archive = Prefetch(i);
        std::string reason;
        std::optional<std::string> digest;
        if (!FetchFile(copy, entry.remotePath, reason, digest, archive)) {
            if (Cancelled()) return End(UpdateOutcome::Cancelled);
            SendStatus(m_pMainWnd, "下载文件失败：" + entry.localPath + "（" + reason + "）");
            return End(UpdateOutcome::Failed);
        }
        // What arrived must be what the list describes, or it is not installed.
        if (!digest) digest = platform::Md5HexOfFile(copy);
        if (digest != entry.checksum) {
            std::error_code ec;
            fs::remove(copy, ec);
            SendStatus(m_pMainWnd,
                       "文件校验失败：" + entry.localPath + "，下载的内容与更新列表不符。");
            return End(UpdateOutcome::Failed);
        }
        // Kept under its common name too, for the next run of any game folder.
        [[maybe_unused]] const bool shareable = LinkReplacing(copy, shared, WriteTime::Keep);
    }

    if (WaitForCommitGate() == UpdateOutcome::Cancelled) return End(UpdateOutcome::Cancelled);
    const UpdateOutcome committed = Commit();
    // Files installed so far stay; nothing is moved aside after a cancel.
    if (committed == UpdateOutcome::Cancelled) return End(UpdateOutcome::Cancelled);
    // What the list dropped goes even when a file could not be installed: the next run then
    // has only that file left to do.
    Remove();
    if (committed == UpdateOutcome::Failed) {
        SendStatus(m_pMainWnd, kCommitFailed);
        return End(UpdateOutcome::Failed);
    }

    if (m_toDownload.empty() && m_removalCandidates.empty()) {
        SendStatus(m_pMainWnd, kNothingToDo);
    } else {
        if (!m_toDownload.empty()) PostTo(m_pMainWnd, WM_VM_FILES_CHANGED);
        if (m_moveFailures == 0 && m_linkedOutside == 0) {
            SendStatus(m_pMainWnd, kDone);
        } else if (m_moveFailures == 0) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "更新完成，但有%zu个文件位于链接到游戏目录之外的文件夹中，没有更新。",
                          m_linkedOutside);
            SendStatus(m_pMainWnd, text);
        } else {
            char text[256];
            std::snprintf(text, sizeof text, "更新完成，但有%zu个文件未能移到%s，仍留在原处。",
                          m_moveFailures, kObsoleteFolder);
            SendStatus(m_pMainWnd, text);
        }
    }
    return UpdateOutcome::Succeeded;
}

std::string CUpdateThread::FileUrl(const std::string& remote) const {
    return m_baseUrl + EncodeUrlPath(m_setFolder + "/" + Slashes(remote));
}

CUpdateThread::Prefetched CUpdateThread::Prefetch(std::size_t index) {
    Prefetched result;
    const tagFILEINFO& entry = m_toDownload[index];
    if (Cancelled()) {
        result.why.cancelled = true;
        return result;
    }
    const std::string copy = m_staging + entry.localPath;
    if (platform::Md5HexOfFile(copy) == entry.checksum) {
        result.staged = true;  // from an earlier run
        return result;
    }
    // Fetched earlier for any game folder: this run's own name for it is checked.
    const std::string shared = TemporaryFolder() + entry.localPath;
    if (LinkReplacing(shared, copy, WriteTime::Keep) &&
        platform::Md5HexOfFile(copy) == entry.checksum) {
        result.staged = true;
        return result;
    }
    // The archive is small and only passes through: it is held in memory, not written.
    std::string archiveUrl = FileUrl(entry.remotePath) + ".z";
    if (m_noCache) archiveUrl.append("?").append(CacheBuster());
    result.progress = std::make_shared<DeferredTarget>();
    std::error_code ec;
    fs::create_directories(m_ahead, ec);
    result.rc = DownloadToMemory(archiveUrl, result.packed, m_lookAheadMemory.get(),
                                 m_ahead + std::to_string(index) + ".z", ProgressKind::File,
                                 ShowErrors::No, result.progress, &result.why);
    return result;
}

bool CUpdateThread::FetchFile(const std::string& local, const std::string& remote,
                              std::string& reason, std::optional<std::string>& digest,
                              Prefetched& archive) {
    digest.reset();
    const std::string url = FileUrl(remote);
    std::error_code ec;
    const fs::path folder = fs::path(local).parent_path();
    fs::create_directories(folder, ec);
    if (ec) {
        reason = "无法创建文件夹“" + folder.string() + "”：" + platform::ErrnoText(ec.value());
        return false;
    }

    // The archive's file bar, shown now that this file's turn has come.
    if (archive.progress) archive.progress->Replay(m_pMainWnd);
    DownloadFailure why = archive.why;
    // Its memory and its spilled copy are not kept past this file, whatever happens.
    struct Done {
        HeldDownload& held;
        ~Done() { held.Release(); }
    } done{archive.packed};
    if (archive.rc == 0) {
        // The mirror packs each file alone under its own name; only that entry is taken,
        // streamed to disk.
        const std::uint64_t cap = CurrentRequestLimits().fileCap;
        const ZipLimits limits{cap, cap};
        std::string error;
        bool extracted = false;
        if (archive.packed.Spilled()) {
            extracted = ExtractZipFileEntry(archive.packed.spillFile, FileNameOf(local), local,
                                            limits, error);
        } else {
            // Held archives are small (one budget for all of them); their entry goes in through
            // the same replacing write as every staged file.
            std::optional<std::string> bytes =
                ReadZipEntry(archive.packed.bytes, FileNameOf(local), limits);
            extracted = bytes && WriteFileReplacing(local, *bytes);
        }
        archive.packed.Release();
        if (extracted) return true;
    } else if (why.cancelled || why.timedOut) {
        // A mirror too slow for the archive is not given the time again for the plain file.
        reason = why.reason;
        return false;
    }
    if (Download(url, local, ProgressKind::File, 0, ShowErrors::Yes, m_pMainWnd, &why) == 0)
        return true;
    reason = why.reason;
    return false;
}

UpdateOutcome CUpdateThread::WaitForCommitGate() {
    // The window opens the gate once its page has loaded (or after 15 s); a cancel wakes the
    // wait at once.
    if (!m_gates.commit->WaitUnless(g_cancelUpdate)) return UpdateOutcome::Cancelled;
    return Cancelled() ? UpdateOutcome::Cancelled : UpdateOutcome::Succeeded;
}

UpdateOutcome CUpdateThread::Commit() {
    std::map<std::string, bool> inside;  // per destination folder
    bool failed = false;
    // A file or folder where the list now has the other goes to the obsolete folder first;
    // the game's own files never do.
    const MoveAsideCall makeWay = [this](const std::string& path) {
        if (IsProtectedPath(path)) {
            errno = EPERM;
            return false;
        }
        return MoveAside(path);
    };
    for (const tagFILEINFO& entry : m_toDownload) {
        if (Cancelled()) return UpdateOutcome::Cancelled;
        const std::string destination = m_gameFolder + entry.localPath;
        const std::string folder = fs::path(destination).parent_path().string();
        auto known = inside.find(folder);
        if (known == inside.end())
            known = inside.emplace(folder, StaysInsideGameFolder(folder, m_gameFolder)).first;
        if (!known->second) {
            // A linked add-on folder shared with another place: never written through.
            ++m_linkedOutside;
            SendStatus(m_pMainWnd,
                       "文件位于链接到游戏目录之外的文件夹中，没有更新：" + entry.localPath);
            continue;
        }
        errno = 0;
        if (!MakeWayFor(destination, m_gameFolder, makeWay) ||
            !InstallFile(m_staging + entry.localPath, destination)) {
            // The other files still go in: each one installed is one the next run need not do.
            failed = true;
            SendStatus(m_pMainWnd, "无法安装文件：" + entry.localPath + "（" +
                                       platform::ErrnoText(errno ? errno : EIO) + "）");
            continue;
        }
        if (m_onInstalled) m_onInstalled(entry);
    }
    return failed ? UpdateOutcome::Failed : UpdateOutcome::Succeeded;
}

bool CUpdateThread::MoveAside(const std::string& path) {
    SendStatus(m_pMainWnd, Format("删除文件：%s...", path));
    ObsoleteMove move = MoveToObsolete(path, m_gameFolder);
    if (move.ok) return true;
    ++m_moveFailures;
    SendStatus(m_pMainWnd, "无法移动文件：" + path + "（" + move.error + "），文件保留在原处。");
    return false;
}

bool CUpdateThread::IsOurAddOn(const std::string& folderPath) {
    auto it = m_ours.find(folderPath);
    if (it == m_ours.end()) it = m_ours.emplace(folderPath, IsOurAddOnFolder(folderPath)).first;
    return it->second;
}

void CUpdateThread::Remove() {
    // Files the commit moved out of the way of a new one are gone already.
    std::erase_if(m_removalCandidates, [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) != 0;
    });
    if (m_removalCandidates.empty()) return;
    // A listed file found under a second spelling (through a folder link inside the game
    // folder, or in a folder that ignores letter case, as some Wine setups have) is that
    // same file: moving the second name aside would take the listed one with it.
    std::set<std::pair<dev_t, ino_t>> listedFiles;
    for (const tagFILEINFO& entry : m_entries) {
        struct stat st {};
        if (::lstat((m_gameFolder + entry.localPath).c_str(), &st) == 0)
            listedFiles.emplace(st.st_dev, st.st_ino);
    }
    std::erase_if(m_removalCandidates, [&](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && listedFiles.count({st.st_dev, st.st_ino}) > 0;
    });
    if (m_removalCandidates.empty()) return;
    const std::string temp = TemporaryFolder();
    {
        // Built only when asked: the question shows which files the list names.
        m_listPaths.clear();
        m_listPaths.reserve(m_entries.size());
        for (const tagFILEINFO& entry : m_entries) m_listPaths.push_back(temp + entry.localPath);
        const std::intptr_t yes = SendTo(m_pMainWnd, WM_VM_CONFIRM_DELETE,
                                         reinterpret_cast<std::uintptr_t>(&m_removalCandidates),
                                         reinterpret_cast<std::intptr_t>(&m_listPaths));
        if (yes) {
            for (const std::string& path : m_removalCandidates) MoveAside(path);
            return;
        }
    }
    // Kept: only files of add-ons this program installed and the list has since dropped. An
    // add-on folder whose name differs from a listed one only in case is dropped too: the
    // game, through Wine, would not know which of the two it is reading.
    std::set<std::string> listed;
    for (const std::string& path : m_listPaths)
        if (std::optional<AddOnFolder> at = AddOnFolderOf(path, temp)) listed.insert(at->name);
    for (const std::string& path : m_removalCandidates) {
        std::optional<AddOnFolder> at = AddOnFolderOf(path, m_gameFolder);
        if (!at || listed.count(at->name)) continue;
        if (IsOurAddOn(at->path)) MoveAside(path);
    }
}

}  // namespace vm
