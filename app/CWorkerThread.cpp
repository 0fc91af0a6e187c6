#include "app/CWorkerThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/CrashFrame.h"

namespace vm {

std::atomic<int> CWorkerThread::s_live{0};

namespace {

// Wakes WaitForAll when the last job ends. Never destroyed: detached jobs may end while the
// process runs its static destructors.
struct LiveSignal {
    std::mutex lock;
    std::condition_variable ended;
};

LiveSignal& Live() {
    static LiveSignal* signal = new LiveSignal;
    return *signal;
}

void JobEnded() {
    LiveSignal& live = Live();
    std::lock_guard<std::mutex> hold(live.lock);
    if (CWorkerThread::LiveCount() == 0) live.ended.notify_all();
}

}  // namespace

bool CWorkerThread::WaitForAll(std::chrono::milliseconds timeout) {
    LiveSignal& live = Live();
    std::unique_lock<std::mutex> hold(live.lock);
    return live.ended.wait_for(hold, timeout, [] { return s_live.load() == 0; });
}

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
    JobEnded();
}

bool CWorkerThread::Start(std::unique_ptr<CWorkerThread> thread, Priority priority) {
    CWorkerThread* raw = thread.release();
    s_live.fetch_add(1);
    try {
        std::thread([raw, priority] { raw->ThreadMain(priority); }).detach();
    } catch (const std::system_error&) {
        delete raw;
        s_live.fetch_sub(1);
        JobEnded();
        return false;
    }
    return true;
}

}  // namespace vm
