// Runs one update of a game folder against a mirror, as the window starts it, and dies by
// SIGKILL at the given crash point of the run (0: never), the way a kill or a power cut ends
// a run. When it lives to the end it writes "probe.txt" in the program folder: how many crash
// points it passed, then the run's status lines; it exits 0 when the run succeeded.
//
//   update_crash_probe GAME PROGRAM BASE_URL SET SET_FOLDER LIST_CHECKSUM KILL_AT
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "platform/FileUtil.h"
#include "tests/support/RecordingTarget.h"
#include "tests/support/ScriptedPrompter.h"
#include "update/CChecksumThread.h"
#include "update/CUpdateThread.h"
#include "update/CrashPoint.h"
#include "update/SelfUpdate.h"
#include "update/UpdateOutcome.h"

namespace {

std::atomic<long> g_passed{0};
long g_killAt = 0;

void Crash() {
    if (g_passed.fetch_add(1) + 1 == g_killAt) ::kill(::getpid(), SIGKILL);
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc != 8) {
        std::fprintf(stderr,
                     "usage: update_crash_probe GAME PROGRAM BASE SET FOLDER SUM KILL_AT\n");
        return 2;
    }
    const fs::path game = argv[1];
    g_killAt = std::atol(argv[7]);

    vm::CVelmoraApp& app = vm::theApp();
    app.SetProgramDir(argv[2]);
    // Written only when they differ: every write waits for the disk.
    const std::string exe = (game / "Tovrin.exe").string();
    if (app.GetProfileInt("Path", "PathType", 0) != 1) app.WriteProfileInt("Path", "PathType", 1);
    if (app.GetProfileString("Path", "CustomPath", "") != exe)
        app.WriteProfileString("Path", "CustomPath", exe);
    if (app.GetProfileInt("Update", "OnceEveryDay", 0) != 0)
        app.WriteProfileInt("Update", "OnceEveryDay", 0);
    vm::CacheGameFolder();
    app.SetPrompter(std::make_shared<vm::test::ScriptedPrompter>());
    app.MirrorState().baseUrl.Set(argv[3]);
    app.PublishedState().updateInfo.Set({{"Version", vm::kClientVersion}});
    app.PublishedState().sets.Set({argv[4]});
    app.PublishedState().setFolders.Set({{argv[4], argv[5]}});
    app.PublishedState().expectedListChecksum.Set(argv[6]);
    app.Runs().commitGate.Set();
    g_shortcutOffered.Set();

    // Every file the list dropped is moved aside, as with DeleteMode 1.
    auto target = std::make_shared<vm::test::RecordingTarget>();
    std::mutex lock;
    std::string statuses;
    target->SetReply([&](const vm::Message& m) -> std::intptr_t {
        if (m.id == vm::WM_VM_STATUS) {
            std::lock_guard<std::mutex> g(lock);
            statuses += *reinterpret_cast<const std::string*>(m.wParam) + "\n";
        }
        return m.id == vm::WM_VM_CONFIRM_DELETE ? 1 : 0;
    });
    vm::SetCrashHook(&Crash);

    g_scanDone.Reset();
    auto scan = std::make_unique<vm::CChecksumThread>();
    scan->m_gameFolder = game.string() + "/";
    auto run = std::make_unique<vm::CUpdateThread>();
    run->m_pMainWnd = target;
    if (!vm::CWorkerThread::Start(std::move(scan), vm::CWorkerThread::Priority::Lowest) ||
        !vm::CWorkerThread::Start(std::move(run)) ||
        !vm::CWorkerThread::WaitForAll(std::chrono::seconds(60)))
        return 3;
    vm::SetCrashHook(nullptr);
    {
        std::lock_guard<std::mutex> g(lock);
        if (!platform::WriteFileAtomic(fs::path(argv[2]) / "probe.txt",
                                       std::to_string(g_passed.load()) + "\n" + statuses))
            return 4;
    }
    const auto ends = target->Of(vm::WM_VM_UPDATE_END);
    return ends.size() == 1 &&
                   ends[0].wParam == static_cast<std::uintptr_t>(vm::UpdateOutcome::Succeeded)
               ? 0
               : 1;
}
