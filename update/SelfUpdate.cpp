#include "update/SelfUpdate.h"

#include <unistd.h>

#include <chrono>
#include <system_error>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "net/HttpUrl.h"
#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "update/Download.h"
#include "update/NativeExecutable.h"
#include "update/UpdateInfo.h"
#include "update/UpdateOutcome.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

std::string WithQuery(std::string url, const std::string& info, const std::string& buster) {
    if (info == "1") url += "?" + buster;
    return url;
}

constexpr char kAskNewVersion[] = "发现了新版本的Velmora，您是否想现在进行更新？";
constexpr char kUpdating[] = "正在更新Velmora...";
constexpr char kCancelled[] = "更新已经取消。";
constexpr char kStartFailed[] = "启动更新程序失败。";

// Downloads one of the two programs. Continue on success; Stop when the user cancelled.
enum class Fetched { Ok, Failed, Cancelled };
Fetched FetchProgram(const std::string& url, const fs::path& file, const TargetRef& target) {
    DownloadFailure why;
    const int rc = Download(url, file, ProgressKind::Total, 0, ShowErrors::Yes, target, &why);
    if (g_cancelUpdate.load()) {
        PostUpdateEnd(target, UpdateOutcome::Cancelled);
        SendStatus(target, kCancelled);
        return Fetched::Cancelled;
    }
    if (rc != 0) {
        if (why.httpStatus == 0)
            SendStatus(target, "下载" + file.filename().string() + "失败：" + why.reason);
        return Fetched::Failed;
    }
    if (!IsNativeExecutable(file)) {
        std::error_code ec;
        fs::remove(file, ec);
        SendStatus(target,
                   "下载的" + file.filename().string() + "不是本机可以运行的程序，已删除。");
        return Fetched::Failed;
    }
    return Fetched::Ok;
}

}  // namespace

SelfUpdateResult RunSelfUpdateCheck(const TargetRef& target, const std::string& cacheBuster,
                                    ManualResetEvent& shortcutGate) {
    CVelmoraApp& app = theApp();
    const UpdateInfoMap info = app.PublishedState().updateInfo.Get();
    auto value = [&](const char* key) {
        auto it = info.find(key);
        return it == info.end() ? std::string() : it->second;
    };
    if (auto it = info.find(kInfoVersion); it != info.end() && it->second == kClientVersion)
        return SelfUpdateResult::Continue;

    // The window's shortcut question comes first; a cancel ends the wait at once.
    if (!shortcutGate.WaitUnless(g_cancelUpdate)) {
        PostUpdateEnd(target, UpdateOutcome::Cancelled);
        SendStatus(target, kCancelled);
        return SelfUpdateResult::Stop;
    }
    if (app.Prompt(kAskNewVersion, "Velmora", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return SelfUpdateResult::Continue;
    SendStatus(target, kUpdating);

    const std::string base = app.MirrorState().baseUrl.Get();
    const std::string noCache = value(kInfoNoCacheMode);
    const fs::path programDir = app.ProgramDir();
    const fs::path client = programDir / kNewClientFileName;
    const fs::path updater = programDir / kUpdaterFileName;

    switch (FetchProgram(WithQuery(base + EncodeUrlPath(value(kInfoClient)), noCache, cacheBuster),
                         client, target)) {
        case Fetched::Cancelled:
            return SelfUpdateResult::Stop;
        case Fetched::Failed:
            return SelfUpdateResult::Continue;
        case Fetched::Ok:
            break;
    }
    switch (FetchProgram(WithQuery(base + EncodeUrlPath(value(kInfoUpdater)), noCache, cacheBuster),
                         updater, target)) {
        case Fetched::Cancelled:
            return SelfUpdateResult::Stop;
        case Fetched::Failed: {
            std::error_code ec;
            fs::remove(client, ec);
            return SelfUpdateResult::Continue;
        }
        case Fetched::Ok:
            break;
    }
    std::error_code ec;
    fs::permissions(updater, fs::perms::owner_exec | fs::perms::owner_read, fs::perm_options::add,
                    ec);
    int error = 0;
    std::optional<platform::ChildProcess> child =
        platform::ChildProcess::Spawn(updater, {std::to_string(::getpid())}, GameFolder(), &error);
    if (!child) {
        app.Prompt(kStartFailed, "Velmora", MB_OK | MB_ICONERROR);
        return SelfUpdateResult::Continue;
    }
    SendTo(target, WM_VM_SELF_UPDATE_EXIT);
    return SelfUpdateResult::Stop;
}

}  // namespace vm
