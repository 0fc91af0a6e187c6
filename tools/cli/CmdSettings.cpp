#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "net/CDownloadConfigThread.h"
#include "net/CUploadConfigThread.h"
#include "net/SettingsSync.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"
#include "tools/cli/TerminalTarget.h"

namespace vm::cli {

namespace {

// The main window's result texts, without its colour tags.
std::optional<std::string> ResultText(const Message& m, bool& ok) {
    auto reason = [&m]() -> std::optional<std::string> {
        if (auto* text = std::get_if<std::string>(&m.payload)) return *text;
        if (auto* maybe = std::get_if<std::optional<std::string>>(&m.payload)) return *maybe;
        return std::nullopt;
    };
    switch (m.id) {
        case WM_VM_CONFIG_UPLOAD_DONE:
            ok = true;
            return "上传配置成功！";
        case WM_VM_CONFIG_UPLOAD_FAILED:
            return "上传配置失败！(" + reason().value_or("") + ")";
        case WM_VM_CONFIG_DOWNLOAD_DONE:
            ok = true;
            return "下载配置成功！";
        case WM_VM_CONFIG_DOWNLOAD_FAILED: {
            // Without a reason the download or the restore has already said why.
            std::optional<std::string> r = reason();
            return r ? "下载配置失败！(" + *r + ")" : std::string("下载配置失败！");
        }
        default:
            return std::nullopt;
    }
}

int RunSettings(const std::vector<std::string>& args) {
    std::string action;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--program-dir" && i + 1 < args.size()) {
            rest.push_back(args[i]);
            rest.push_back(args[++i]);
        } else if (action.empty() && (args[i] == "upload" || args[i] == "download")) {
            action = args[i];
        } else {
            rest.push_back(args[i]);
        }
    }
    CliOptions options({"--program-dir"}, {"--yes"});
    if (auto done = StartCommand(kSettingsCommand, options, rest)) return *done;
    if (action.empty()) {
        PrintError("请指定 upload 或 download。");
        return kExitUsage;
    }
    TerminalOutput& out = TerminalOutput::Instance();
    const bool upload = action == "upload";
    out.Line("账号配置目录: " + AccountFolder().string());

    std::unique_ptr<CWorkerThread> worker;
    if (upload) {
        worker = std::make_unique<CUploadConfigThread>();
    } else {
        SetAnswers(options.Flag("--yes") ? Answers::Yes : Answers::Ask);
        if (theApp().Prompt("所有的插件配置信息将被新的配置取代，你确定要继续吗？", "下载配置",
                            MB_YESNO | MB_ICONQUESTION) != IDYES) {
            PrintError("没有确认，账号配置没有改动（在脚本中请加 --yes）。");
            return kExitFailed;
        }
        worker = std::make_unique<CDownloadConfigThread>();
    }
    out.Line(upload ? "正在上传配置，请稍候……" : "正在下载配置，请稍候……");

    auto target = std::make_shared<TerminalTarget>();
    worker->m_pMainWnd = target;
    if (!CWorkerThread::Start(std::move(worker))) {
        PrintError("无法启动工作线程。");
        return kExitFailed;
    }
    bool ended = false, ok = false;
    while (!ended) {
        target->HandleNext(
            [&](const Message& m) -> std::intptr_t {
                if (std::optional<std::string> text = ResultText(m, ok)) {
                    ended = true;
                    ok ? out.Line(*text) : PrintError(*text);
                }
                return 0;
            },
            std::chrono::milliseconds(100));
    }
    target->Close();
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

const CliCommand kSettingsCommand{
    "settings",
    "upload|download [--yes] [--program-dir DIR]",
    "上传或下载游戏的账号插件配置（需要先登录）",
    "用法: velmora settings upload|download [--yes] [--program-dir DIR]\n"
    "upload    把游戏 Account 目录中的插件配置打包上传到通行证服务器\n"
    "download  从通行证服务器下载配置，替换游戏的 Account 目录（先在终端上确认）\n"
    "需要先用 velmora login USER --remember 登录。\n"
    "  --yes              不提问，直接替换（没有终端时必须给出）\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "退出状态: 0 成功，1 失败。\n",
    RunSettings,
};

}  // namespace vm::cli
