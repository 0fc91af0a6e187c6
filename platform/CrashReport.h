#pragma once

#include <filesystem>

namespace platform {

// Crash report for fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT): the handler
// writes the signal, faulting address, thread and a backtrace to the report file with
// async-signal-safe calls only (a sibling file renamed over the report, so a report is
// never torn), then hands the signal on to whatever handled it before, by default ending
// the process by that signal. Two crashing threads both write; the last rename wins.
// All functions may be called from any thread, repeatedly.
class CrashReport {
  public:
    // Where the next report goes. The text is copied; changing it later is safe.
    static void SetReportPath(const std::filesystem::path& path);

    // Installs the handlers (once per process) and gives the calling thread an alternate
    // signal stack, so that a stack overflow on it is reported as well.
    static void Install();
};

}  // namespace platform
