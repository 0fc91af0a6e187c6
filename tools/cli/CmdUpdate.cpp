#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "platform/IniFile.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"
#include "tools/cli/TerminalTarget.h"
#include "tools/cli/Unattended.h"
#include "update/AutoUpdateDecision.h"
#include "update/CChecksumThread.h"
#include "update/CRealmInfoThread.h"
#include "update/CUpdateThread.h"
#include "update/FileInstall.h"

namespace vm::cli {

namespace {

constexpr int kExitCancelled = 2;
constexpr auto kTick = std::chrono::milliseconds(100);
constexpr auto kPoll = std::chrono::milliseconds(1);

// A scan started for a run that does not happen stops; its cache is kept whole.
void StopScan() {
    g_cancelUpdate.store(1);
    g_scanDone.WaitFor(std::chrono::seconds(10));
}

// Ctrl+C (or a polite kill) cancels the run the way the window's stop button does; a second
// Ctrl+C ends the program at once.
extern "C" void CancelUpdate(int sig) {
    g_cancelUpdate.store(1);
    static const char kNote[] = "\n正在取消更新...\n";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
    std::signal(sig, SIG_DFL);
}

// The deletion question the window's dialog asks, on the terminal.
bool ConfirmDelete(const std::vector<std::string>& candidates) {
    const int mode = theApp().GetProfileInt("Update", "DeleteMode", 0);
    if (mode == 1) return true;
    if (mode == 2) return false;
    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("在你的系统里检测到一些不明插件（更新列表中没有的文件）：");
    constexpr std::size_t kShown = 20;
    for (std::size_t i = 0; i < candidates.size() && i < kShown; ++i)
        out.Line("  " + candidates[i]);
    if (candidates.size() > kShown)
        out.Line("  ……共 " + std::to_string(candidates.size()) + " 个文件");
    return theApp().Prompt(
               std::string("是否隔离这些不明插件（移到\"") + kObsoleteFolder + "\"文件夹里）？",
               "不明插件", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

struct RunState {
    bool ended = false;
    bool selfUpdate = false;
    bool infoFailed = false;
    bool filesChanged = false;
    UpdateOutcome outcome = UpdateOutcome::Failed;
};

std::intptr_t Handle(const Message& m, RunState& state) {
    TerminalOutput& out = TerminalOutput::Instance();
    switch (m.id) {
        case WM_VM_STATUS:
            if (m.wParam) out.Line(*reinterpret_cast<const std::string*>(m.wParam));
            return 0;
        case WM_VM_TOTAL_PROGRESS:
            out.Total(static_cast<long>(m.wParam), static_cast<long>(m.lParam));
            return 0;
        case WM_VM_FILE_PROGRESS:
            out.File(static_cast<long>(m.wParam), static_cast<long>(m.lParam));
            return 0;
        case WM_VM_CONFIRM_DELETE:
            return ConfirmDelete(*reinterpret_cast<const std::vector<std::string>*>(m.wParam)) ? 1
                                                                                               : 0;
        case WM_VM_INFO_FAILED:
            state.infoFailed = true;
            return 0;
        case WM_VM_FILES_CHANGED:
            state.filesChanged = true;
            return 0;
        case WM_VM_UPDATE_END:
            state.ended = true;
            state.outcome = static_cast<UpdateOutcome>(m.wParam);
            return 0;
        case WM_VM_SELF_UPDATE_EXIT:
            state.ended = true;
            state.selfUpdate = true;
            return 0;
        default:
            return 0;
    }
}

int RunUpdate(const std::vector<std::string>& args) {
    CliOptions options({"--program-dir"}, {"--yes", "--no", "--force", "--notify"});
    if (auto done = StartCommand(kUpdateCommand, options, args)) return *done;
    if (options.Flag("--yes") && options.Flag("--no")) {
        PrintError("--yes 和 --no 不能同时使用。");
        return kExitUsage;
    }
    SetAnswers(options.Flag("--yes")  ? Answers::Yes
               : options.Flag("--no") ? Answers::No
                                      : Answers::Ask);

    CVelmoraApp& app = theApp();
    auto target = std::make_shared<TerminalTarget>();
    RunState state;
    auto handle = [&](const Message& m) { return Handle(m, state); };
    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("游戏目录: " + GameFolder());

    // The scan needs only the game folder: it walks while the update information and the
    // file list arrive.
    g_cancelUpdate.store(0);
    const bool scanning = CChecksumThread::Launch();

    // What the splash screen does before the window opens.
    g_infoReady.Reset();
    CRealmInfoThread::Launch(target);
    while (!g_infoReady.IsSet()) target->HandleNext(handle, kPoll);
    while (target->HandleNext(handle, std::chrono::milliseconds(0))) {
    }
    if (!options.Flag("--force")) {
        const AutoUpdateDecision decision = DecideAutomaticUpdate();
        if (decision != AutoUpdateDecision::Start) {
            StopScan();
            out.Line(AutoUpdateDecisionText(decision));
            if (state.infoFailed) {
                PrintError("获取更新信息失败。");
                return kExitFailed;
            }
            return kExitOk;
        }
    }

    // The window's start of a run; there is no page to wait for and no shortcut to offer.
    app.Runs().commitGate.store(1);
    g_shortcutOffered.Set();
    std::signal(SIGINT, CancelUpdate);
    std::signal(SIGTERM, CancelUpdate);
    if (!scanning) {
        PrintError("无法启动更新。");
        return kExitFailed;
    }
    if (!CUpdateThread::Launch(target)) {
        StopScan();
        PrintError("无法启动更新。");
        return kExitFailed;
    }
    while (!state.ended) target->HandleNext(handle, kTick);
    // Let the scan end (it has finished unless the run failed before comparing; its cache is
    // saved either way), and show what the run still says: a cancelled self-update posts its
    // end before its last status line.
    g_cancelUpdate.store(1);
    // Woken as the last worker ends; messages still arriving are handled between waits.
    while (!CWorkerThread::WaitForAll(kPoll))
        while (target->HandleNext(handle, std::chrono::milliseconds(0))) {
        }
    while (target->HandleNext(handle, std::chrono::milliseconds(0))) {
    }
    target->Close();
    out.Finish();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    if (state.selfUpdate) {
        out.Line(
            "已启动更新程序：Velmora-TVRN 将被替换为新版本。velmora 命令本身不受影响，"
            "请再次运行 velmora update 更新插件。");
        return kExitOk;
    }
    switch (state.outcome) {
        case UpdateOutcome::Succeeded:
            // A scheduled run tells the desktop, if there is one, that something changed.
            if (options.Flag("--notify") && state.filesChanged)
                NotifyDesktop("Velmora插件已更新", "游戏插件已经更新到最新版本。");
            return kExitOk;
        case UpdateOutcome::Cancelled:
            return kExitCancelled;
        case UpdateOutcome::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace

const CliCommand kUpdateCommand{
    "update",
    "[--program-dir DIR] [--yes | --no] [--force] [--notify]",
    "像主窗口启动时一样更新游戏插件",
    "用法: velmora update [--program-dir DIR] [--yes | --no] [--force] [--notify]\n"
    "获取更新信息，按主窗口的自动更新规则（AutoUpdate、OnceEveryDay）决定是否更新，\n"
    "然后计算本地校验值、下载有变化的插件文件并安装到游戏的 Interface 目录。\n"
    "在终端上显示进度条；问题（新版本、不明插件）在终端上提问，没有终端时按“否”处理。\n"
    "按 Ctrl+C 取消更新。\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "  --yes              所有问题都回答“是”\n"
    "  --no               所有问题都回答“否”\n"
    "  --force            像主窗口的更新按钮一样立即更新，不看 AutoUpdate 和每天一次的规则\n"
    "  --notify           有插件更新时显示桌面通知（有会话总线时）\n"
    "退出状态: 0 更新成功（或按规则不需要更新），1 更新失败，2 更新已取消。\n",
    RunUpdate,
};

}  // namespace vm::cli
