#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/Prompter.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"
#include "tools/cli/Unattended.h"
#include "update/AutoUpdateDecision.h"
#include "update/FileInstall.h"
#include "update/UnknownAddOns.h"
#include "update/UpdateSession.h"

namespace vm::cli {

namespace {

constexpr int kExitCancelled = 2;

// Ctrl+C (or a polite kill) cancels the run the way the window's stop button does; a second
// Ctrl+C ends the program at once. The run waits on no gate here, so the flag is all it
// needs.
extern "C" void CancelUpdate(int sig) {
    g_cancelUpdate.store(1);
    static const char kNote[] = "\n正在取消更新...\n";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
    std::signal(sig, SIG_DFL);
}

// The session's reports on the terminal, from the run's threads (TerminalOutput is
// thread-safe). The unknown add-on question shows the groups the window's dialog lists and
// is answered on the terminal (or by --yes/--no).
class TerminalListener : public IUpdateListener {
  public:
    void OnStatus(const std::string& text) override { Out().Line(text); }
    void OnTotalProgress(long done, long count) override { Out().Total(done, count); }
    void OnFileProgress(long percent, long count) override { Out().File(percent, count); }
    UnknownAddOnsDecision OnUnknownAddOns(const UnknownAddOnsQuestion& question) override {
        return DecideUnknownAddOns(question, [](const std::vector<AddOnGroup>& groups) {
            TerminalOutput& out = Out();
            out.Line("在你的系统里检测到一些不明插件。这些不明插件可能会对游戏的稳定性造成影响。");
            for (const AddOnGroup& group : groups)
                out.Line("  " + group.name + "（" + std::to_string(group.files) + " 个文件）");
            const bool isolate = theApp().Prompt(std::string("是否隔离这些不明插件（移到\"") +
                                                     kObsoleteFolder + "\"文件夹里）？",
                                                 "不明插件", MB_YESNO | MB_ICONQUESTION) == IDYES;
            return isolate ? UnknownAddOnsDecision::Isolate : UnknownAddOnsDecision::Keep;
        });
    }
    void OnFilesChanged() override { m_filesChanged = true; }
    void OnSelfUpdateExit() override {}
    void OnEnd(UpdateOutcome /*outcome*/) override {}
    bool FilesChanged() const { return m_filesChanged; }

  private:
    static TerminalOutput& Out() { return TerminalOutput::Instance(); }
    std::atomic<bool> m_filesChanged{false};
};

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

    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("游戏目录: " + GameFolder());

    // No page to wait for and no shortcut to offer: the gates are open from the start.
    auto listener = std::make_shared<TerminalListener>();
    UpdateSession session(listener, UpdateGates::Open());
    const bool informed = session.FetchInformationFirst();
    if (!options.Flag("--force")) {
        const AutoUpdateDecision decision = DecideAutomaticUpdate();
        if (decision != AutoUpdateDecision::Start) {
            session.Finish();
            out.Line(AutoUpdateDecisionText(decision));
            if (!informed) {
                PrintError("获取更新信息失败。");
                return kExitFailed;
            }
            return kExitOk;
        }
    }

    std::signal(SIGINT, CancelUpdate);
    std::signal(SIGTERM, CancelUpdate);
    const UpdateSession::Started started = session.Start(UpdateSession::Kind::Automatic);
    if (started == UpdateSession::Started::Yes) session.WaitForEnd();
    // Every worker ends (the scan has finished unless the run failed before comparing; its
    // cache is saved either way), and what the run still says is written: a cancelled
    // self-update ends before its last status line.
    session.Finish();
    out.Finish();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (started != UpdateSession::Started::Yes) {
        PrintError("无法启动更新。");
        return kExitFailed;
    }

    if (session.HandedOver()) {
        out.Line(
            "已启动更新程序：Velmora-TVRN 将被替换为新版本。velmora 命令本身不受影响，"
            "请再次运行 velmora update 更新插件。");
        return kExitOk;
    }
    switch (session.Outcome().value_or(UpdateOutcome::Failed)) {
        case UpdateOutcome::Succeeded:
            // A scheduled run tells the desktop, if there is one, that something changed.
            if (options.Flag("--notify") && listener->FilesChanged())
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
