#include <unistd.h>

#include <QApplication>
#include <cstdio>

#include "app/CVelmoraApp.h"
#include "app/CrashDump.h"
#include "app/GameFolder.h"
#include "net/NetServices.h"
#include "ui/CExplorer.h"
#include "ui/CVelmoraDlg.h"
#include "ui/QtPrompter.h"
#include "ui/QtStartupUi.h"

int main(int argc, char** argv) {
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
