#include "app/CrashDump.h"

#include "app/CVelmoraApp.h"
#include "app/CrashFrame.h"
#include "platform/CrashReport.h"
#include "platform/FileUtil.h"

namespace vm {

namespace {

// Runs at the start of every frame, on the frame's thread: the program folder may have
// been named since the last frame, and the thread needs its own signal stack.
void ArmCrashReport() {
    std::filesystem::path dir = theApp().Locations().dataDir;
    if (dir.empty()) dir = platform::ExecutableDir();
    platform::CrashReport::SetReportPath(dir / "vmcrash.dmp");
    platform::CrashReport::Install();
}

}  // namespace

void InstallCrashDump() {
    SetCrashFrameInstaller(&ArmCrashReport);
}

}  // namespace vm
