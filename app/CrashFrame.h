#pragma once

#include <functional>

namespace vm {

// Runs a job inside the crash-report frame: a fatal signal on this thread writes the crash
// report and then continues to kill the process. Returns the job's result.
int RunInCrashFrame(const std::function<int()>& job);

// The installer the crash report module sets; until it is set the frame just runs the job.
void SetCrashFrameInstaller(void (*install)());

}  // namespace vm
