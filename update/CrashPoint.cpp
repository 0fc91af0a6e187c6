#include "update/CrashPoint.h"

#include <atomic>

namespace vm {
namespace {
std::atomic<CrashHook> g_hook{nullptr};
}  // namespace

void SetCrashHook(CrashHook hook) {
    g_hook.store(hook);
}

void CrashPoint() {
    if (CrashHook hook = g_hook.load()) hook();
}

}  // namespace vm
