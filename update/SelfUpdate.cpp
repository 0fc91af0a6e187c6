#include "update/SelfUpdate.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "net/HttpUrl.h"
#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "update/Download.h"
#include "update/NativeExecutable.h"
#include "update/ProgramSignature.h"
#include "update/ProgramVersion.h"
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
constexpr char kPackagedNewVersion[] =
    "发现了新版本的Velmora，请使用系统的软件包管理器安装新版本。";

// Only a version newer than ours is offered. The same version is the everyday case and says
// nothing; an older or unreadable one says why nothing is offered.
bool IsOffered(const UpdateInfoMap& info, const TargetRef& target) {
    const auto it = info.find(kInfoVersion);
    if (it == info.end()) return false;
    const std::string shown = platform::WithoutControlCharacters(it->second);
    switch (CompareVersions(it->second, kClientVersion)) {
        case VersionOrder::Newer:
            return true;
        case VersionOrder::Same:
            return false;
        case VersionOrder::Older:
            SendStatus(target, "服务器上的Velmora版本（" + shown + "）比当前版本（" +
                                   kClientVersion + "）旧，不进行更新。");
            return false;
        case VersionOrder::Unreadable:
            SendStatus(target, "无法识别服务器上的Velmora版本号（" + shown + "），不进行更新。");
            return false;
    }
    return false;
}

// How the status names each program, and what is not done with it when it is refused.
std::string Named(ProgramRole role) {
    return role == ProgramRole::Client ? "新版本的Velmora" : "更新程序";
}
std::string Refused(ProgramRole role, const std::string& why) {
    return Named(role) + why + (role == ProgramRole::Client ? "，不会安装。" : "，不会运行。");
}

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

// The signature first (a program without one is not even downloaded), then the program, then
// the check against the keys built into us. A refused program is deleted and the status says
// why; sigText receives the signature that passed.
Fetched FetchSigned(const std::string& url, const std::string& sigUrl, const fs::path& file,
                    ProgramRole role, const std::string& version, const TargetRef& target,
                    std::string& sigText) {
    DownloadFailure why;
    const int rc =
        DownloadToMemory(sigUrl, sigText, ProgressKind::None, ShowErrors::No, target, &why);
    if (g_cancelUpdate.load()) {
        PostUpdateEnd(target, UpdateOutcome::Cancelled);
        SendStatus(target, kCancelled);
        return Fetched::Cancelled;
    }
    if (rc != 0) {
        SendStatus(target, why.httpStatus != 0
                               ? Refused(role, "没有签名")
                               : "无法下载" + Named(role) + "的签名：" + why.reason);
        return Fetched::Failed;
    }
    const Fetched fetched = FetchProgram(url, file, target);
    if (fetched != Fetched::Ok) return fetched;
    const SignatureCheck check = VerifyProgramSignature(file, sigText, role, version);
    if (check == SignatureCheck::Valid) return Fetched::Ok;
    std::error_code ec;
    fs::remove(file, ec);
    SendStatus(target, Refused(role, "的签名无效"));
    return Fetched::Failed;
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
    if (!IsOffered(info, target)) return SelfUpdateResult::Continue;
    const std::string version = value(kInfoVersion);
    // The package manager owns a packaged install's files: say so and update the add-ons.
    if (app.Locations().kind == InstallKind::Packaged) {
        SendStatus(target, kPackagedNewVersion);
        return SelfUpdateResult::Continue;
    }

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

    auto url = [&](const std::string& path) {
        return WithQuery(base + EncodeUrlPath(path), noCache, cacheBuster);
    };
    std::string clientSig, updaterSig;
    switch (FetchSigned(url(value(kInfoClient)), url(value(kInfoClient) + kSignatureSuffix), client,
                        ProgramRole::Client, version, target, clientSig)) {
        case Fetched::Cancelled:
            return SelfUpdateResult::Stop;
        case Fetched::Failed:
            return SelfUpdateResult::Continue;
        case Fetched::Ok:
            break;
    }
    switch (FetchSigned(url(value(kInfoUpdater)), url(value(kInfoUpdater) + kSignatureSuffix),
                        updater, ProgramRole::Updater, version, target, updaterSig)) {
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
    // The updater checks the new client once more before it swaps, against this signature.
    std::error_code ec;
    const fs::path clientSigFile = client.string() + kSignatureSuffix;
    if (!platform::WriteFileAtomic(clientSigFile, clientSig)) {
        SendStatus(target, "无法写入文件：" + clientSigFile.string() + "（" +
                               platform::ErrnoText(errno ? errno : EIO) + "）");
        fs::remove(client, ec);
        fs::remove(updater, ec);
        return SelfUpdateResult::Continue;
    }
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
