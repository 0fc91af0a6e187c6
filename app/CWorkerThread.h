#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "app/MessageTarget.h"

namespace vm {

// Base of every worker: one object per job, run on its own detached thread, never joined.
// The starter fills the fields (the "suspended" step), then hands the object to Start, which
// owns it from then on and deletes it when the job ends. The job runs inside the crash frame.
// Workers report only through messages to m_pMainWnd and the process-wide flags.
class CWorkerThread {
  public:
    enum class Priority { Normal, Lowest };

    virtual ~CWorkerThread() = default;

    // false when no thread could be created (the object is deleted then).
    static bool Start(std::unique_ptr<CWorkerThread> thread, Priority priority = Priority::Normal);

    // Jobs still running in this process (for tests and orderly shutdown checks).
    static int LiveCount();

    // Waits until no job runs any more, or timeout has passed; true when none runs. The one
    // place that waits for workers (tests, the end of the command line).
    static bool WaitForAll(std::chrono::milliseconds timeout);

    // The window this worker reports to.
    TargetRef m_pMainWnd;

  protected:
    // The job. Its result is the thread's result.
    virtual int RunTask() { return 0; }
    // Runs RunTask inside the crash frame; workers without RunTask override this instead.
    virtual int InitInstance();
    virtual int ExitInstance() { return 0; }

  private:
    void ThreadMain(Priority priority);
    static std::atomic<int> s_live;
};

}  // namespace vm
