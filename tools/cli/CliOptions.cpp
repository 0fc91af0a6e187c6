#include "tools/cli/CliOptions.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>

#include "app/CVelmoraApp.h"
#include "app/CrashDump.h"
#include "app/GameFolder.h"
#include "app/Prompter.h"
#include "net/NetServices.h"
#include "platform/FileUtil.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/TerminalOutput.h"

namespace vm::cli {

namespace {

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

Answers g_answers = Answers::Ask;

// Message boxes on the terminal. A question is asked only when someone can answer it;
// --yes and --no answer for the user; otherwise it gets the answer that changes nothing.
class TerminalPrompter : public Prompter {
  public:
    int Prompt(const std::string& text, const std::string& caption, unsigned style) override {
        TerminalOutput& out = TerminalOutput::Instance();
        out.Line("[" + caption + "] " + text, true);
        const unsigned kind = style & 0xf;
        if (kind != MB_YESNO && kind != MB_OKCANCEL) return IDOK;
        const int yes = kind == MB_YESNO ? IDYES : IDOK;
        const int no = kind == MB_YESNO ? IDNO : IDCANCEL;
        if (g_answers != Answers::Ask) {
            out.Line(g_answers == Answers::Yes ? "(是)" : "(否)", true);
            return g_answers == Answers::Yes ? yes : no;
        }
        if (!::isatty(STDIN_FILENO)) {
            out.Line("(没有终端可以回答，按“否”处理)", true);
            return no;
        }
        std::lock_guard<std::mutex> asking(m_asking);
        out.Suspend();
        std::cerr << "(y/n) " << std::flush;
        std::string answer;
        const bool got = static_cast<bool>(std::getline(std::cin, answer));
        out.Resume();
        if (!got) return no;
        return (!answer.empty() && (answer[0] == 'y' || answer[0] == 'Y')) ? yes : no;
    }

  private:
    std::mutex m_asking;
};

}  // namespace

bool CliOptions::Parse(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            m_help = true;
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (Contains(m_valueOptions, name)) {
            if (eq != std::string::npos) {
                m_values.emplace_back(name, a.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                m_values.emplace_back(name, args[++i]);
            } else {
                m_error = "选项 " + name + " 缺少参数。";
                return false;
            }
        } else if (eq == std::string::npos && Contains(m_flags, a)) {
            m_setFlags.push_back(a);
        } else {
            m_error = "无法识别的参数：" + a;
            return false;
        }
    }
    return true;
}

std::optional<std::string> CliOptions::Value(const std::string& name) const {
    std::optional<std::string> v;
    for (const auto& [n, value] : m_values)
        if (n == name) v = value;  // the last one given wins
    return v;
}

bool CliOptions::Flag(const std::string& name) const {
    return Contains(m_setFlags, name);
}

void PrintError(const std::string& text) {
    TerminalOutput::Instance().Line("velmora: " + text, true);
}

void SetAnswers(Answers answers) {
    g_answers = answers;
}

WordsAndOptions SplitWords(const std::vector<std::string>& args) {
    WordsAndOptions split;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--program-dir" && i + 1 < args.size()) {
            split.options.push_back(args[i]);
            split.options.push_back(args[++i]);
        } else if (args[i].starts_with("-")) {
            split.options.push_back(args[i]);
        } else {
            split.words.push_back(args[i]);
        }
    }
    return split;
}

std::optional<int> StartCommand(const CliCommand& command, CliOptions& options,
                                const std::vector<std::string>& args) {
    if (!options.Parse(args)) {
        PrintError(options.Error());
        return kExitUsage;
    }
    if (options.HelpRequested()) {
        std::cout << command.help;
        return kExitOk;
    }
    if (!PrepareApp(options.Value("--program-dir"))) return kExitFailed;
    return std::nullopt;
}

bool PrepareApp(const std::optional<std::string>& programDir) {
    std::filesystem::path dir =
        programDir ? std::filesystem::path(*programDir) : platform::ExecutableDir();
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        PrintError("程序目录不存在：" + dir.string());
        return false;
    }
    dir = std::filesystem::absolute(dir, ec).lexically_normal();
    if (!dir.has_filename() && dir != dir.root_path()) dir = dir.parent_path();
    theApp().SetProgramDir(dir);
    if (std::string why; !CreateLocationFolders(theApp().Locations(), &why)) {
        PrintError(why);
        return false;
    }
    InstallCrashDump();
    InstallGameFolderResolver();
    InstallNetServices();
    theApp().SetPrompter(std::make_shared<TerminalPrompter>());
    CacheGameFolder();
    return true;
}

}  // namespace vm::cli
