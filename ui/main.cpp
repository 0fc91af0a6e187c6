#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CVelmoraApp.h"
#include "app/CrashDump.h"
#include "app/GameFolder.h"
#include "net/NetServices.h"
#include "ui/CExplorer.h"
#include "ui/CVelmoraDlg.h"
#include "ui/QtPrompter.h"
#include "ui/QtStartupUi.h"

namespace {

// The page's engine runs dozens of threads, and the allocator would give each busy one a heap
// of its own that keeps its high-water mark for the program's all-day life; two are plenty
// for a window. Before any thread starts; the user's own setting wins.
void LimitHeapArenas() {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (std::getenv("MALLOC_ARENA_MAX") || (tunables && std::strstr(tunables, "arena_max"))) return;
    ::mallopt(M_ARENA_MAX, 2);
}

}  // namespace

int main(int argc, char** argv) {
    LimitHeapArenas();
    auto& app = vm::theApp();
    // The former COM-server switches end before any window system is touched.
    const auto cmd = vm::CommandLineInfo::Parse(argc, argv);
    if (cmd.embedding || cmd.regserver || cmd.unregister) {
        vm::QtStartupUi none;
        return app.Run(argc, argv, none);
    }
    vm::InstallCrashDump();
    vm::InstallGameFolderResolver();
    vm::InstallNetServices();
    vm::PrepareWebEngine();
    QApplication qapp(argc, argv);
    app.SetPrompter(std::make_shared<vm::QtPrompter>());
    // The main window runs through this runner, modally, until WM_QUIT.
    vm::QtStartupUi ui(vm::RunVelmoraMainWindow);
    const int rc = app.Run(argc, argv, ui);
    // Workers are never waited for; end without running destructors under their feet.
    std::fflush(nullptr);
    _exit(rc);
}
