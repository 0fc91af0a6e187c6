#include "app/CWorkerThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "app/CrashFrame.h"

namespace vm {

std::atomic<int> CWorkerThread::s_live{0};

int CWorkerThread::LiveCount() {
    return s_live.load();
}

int CWorkerThread::InitInstance() {
    return RunInCrashFrame([this] { return RunTask(); });
}

void CWorkerThread::ThreadMain(Priority priority) {
    if (priority == Priority::Lowest) {
        // Per-thread nice value on Linux, two steps below normal like the lowest thread
        // priority of a normal process: a larger step lets any busy program starve the scan
        // the update run waits for. Failure only means normal priority.
        [[maybe_unused]] int rc = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 2);
    }
    InitInstance();
    ExitInstance();
    delete this;
    s_live.fetch_sub(1);
}

bool CWorkerThread::Start(std::unique_ptr<CWorkerThread> thread, Priority priority) {
    CWorkerThread* raw = thread.release();
    s_live.fetch_add(1);
    try {
        std::thread([raw, priority] { raw->ThreadMain(priority); }).detach();
    } catch (const std::system_error&) {
        s_live.fetch_sub(1);
        delete raw;
        return false;
    }
    return true;
}

}  // namespace vm
