#include "app/CrashFrame.h"

#include <atomic>

namespace vm {

namespace {
std::atomic<void (*)()> g_installer{nullptr};
}

void SetCrashFrameInstaller(void (*install)()) {
    g_installer = install;
}

int RunInCrashFrame(const std::function<int()>& job) {
    // Signal handlers are process-wide: installing is idempotent and makes sure the frame is
    // in place before the job runs on whichever thread.
    if (auto install = g_installer.load()) install();
    return job();
}

}  // namespace vm
