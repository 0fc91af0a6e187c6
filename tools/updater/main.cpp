// VMUpdate PID: replaces the window program with the new build the self-update downloaded.
// Started by the program (or the `velmora update` command) from the program folder as
// "VMUpdate PID", with the game folder as its working folder. It asks the program PID to
// end and waits for it, puts "Velmora-TVRN.new" in place of "Velmora-TVRN" in its own
// folder and starts the program again. The new program must carry its signature beside it
// ("Velmora-TVRN.new.sig") from a key built into this updater; it is checked before the
// program is asked to end. If anything fails before the swap, the old program is left
// exactly as it was.

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "tools/updater/ProgramSwap.h"
#include "update/NativeExecutable.h"
#include "update/ProgramSignature.h"

namespace {

namespace fs = std::filesystem;
using namespace vm::updater;

constexpr char kProgram[] = "Velmora-TVRN";
constexpr char kFresh[] = "Velmora-TVRN.new";
// A command line that handed over ends by itself; it is never signalled.
constexpr auto kOtherExitWait = std::chrono::seconds(60);

int Fail(const std::string& text) {
    std::cerr << "VMUpdate: " << text << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Live on when the program's terminal or process group goes away with it.
    ::setsid();
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);

    if (argc < 2) return Fail("用法: VMUpdate PID [--grace-ms N]");
    char* end = nullptr;
    const long pidValue = std::strtol(argv[1], &end, 10);
    if (!end || *end || pidValue <= 1 || pidValue == ::getpid())
        return Fail(std::string("进程号无效：") + argv[1]);
    const pid_t pid = static_cast<pid_t>(pidValue);
    std::chrono::milliseconds grace(10000);
    if (argc >= 4 && std::string(argv[2]) == "--grace-ms")
        grace = std::chrono::milliseconds(std::atol(argv[3]));

    const fs::path dir = platform::ExecutableDir();
    const fs::path program = dir / kProgram;
    const fs::path fresh = dir / kFresh;
    if (!vm::IsNativeExecutable(fresh)) return Fail("找不到可以运行的新程序：" + fresh.string());
    // Checked again here: the program folder is all this updater trusts, not who started it.
    const fs::path signature = fresh.string() + vm::kSignatureSuffix;
    const std::optional<std::string> sigText = vm::ReadSignatureFile(signature);
    if (!sigText) return Fail("新程序没有签名，程序未替换：" + signature.string());
    if (vm::VerifyProgramSignature(fresh, *sigText, vm::ProgramRole::Client, std::nullopt) !=
        vm::SignatureCheck::Valid)
        return Fail("新程序的签名无效，程序未替换。");

    const ProcessKind kind = InspectProcess(pid, program);
    if (kind == ProcessKind::Program && !EndProgram(pid, grace))
        return Fail("无法结束正在运行的 Velmora（进程 " + std::to_string(pid) + "）。");
    if (kind == ProcessKind::Other && !WaitForExit(pid, kOtherExitWait))
        return Fail("进程 " + std::to_string(pid) + " 没有结束，程序未替换。");

    ProgramSwap swap(program, fresh);
    std::string error;
    if (!swap.Swap(error)) return Fail(error);
    std::error_code removeError;
    fs::remove(signature, removeError);  // it belonged to the file just put in place

    // Only the window program that was ended is started again; a command line that handed
    // over has finished its work.
    if (kind != ProcessKind::Program) {
        swap.Commit();
        return 0;
    }
    std::error_code ec;
    const fs::path workDir = fs::current_path(ec);
    int spawnError = 0;
    if (platform::ChildProcess::Spawn(program, {}, workDir, &spawnError)) {
        swap.Commit();
        return 0;
    }
    const std::string reason = platform::ErrnoText(spawnError);
    if (swap.Restore()) {
        [[maybe_unused]] auto old = platform::ChildProcess::Spawn(program, {}, workDir);
    }
    return Fail("无法启动新程序（" + reason + "），已恢复旧程序。");
}
