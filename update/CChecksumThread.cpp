#include "update/CChecksumThread.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "update/ChecksumCache.h"
#include "update/ChecksumMap.h"
#include "update/ChecksumScan.h"

namespace vm {

namespace {

std::atomic<std::uint64_t> g_generation{0};
// Guards the step from "is this scan still the current one" to g_scanDone being set.
std::mutex& GenerationLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
// Held for a whole scan: the map and the cache have one writer at a time.
std::mutex& ScanLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

// The update run waits for g_scanDone; it is set however the job ends, but only for the
// run the scan belongs to.
class ScanDoneOnExit {
  public:
    explicit ScanDoneOnExit(std::uint64_t generation) : m_generation(generation) {}
    ScanDoneOnExit(const ScanDoneOnExit&) = delete;
    ScanDoneOnExit& operator=(const ScanDoneOnExit&) = delete;
    ~ScanDoneOnExit() { Signal(); }
    // Early, once the scan's results are in place.
    void Signal() {
        if (m_signalled) return;
        m_signalled = true;
        std::lock_guard<std::mutex> g(GenerationLock());
        if (g_generation.load() == m_generation) g_scanDone.Set();
    }

  private:
    std::uint64_t m_generation;
    bool m_signalled = false;
};

}  // namespace

std::uint64_t CChecksumThread::NewGeneration() {
    std::lock_guard<std::mutex> g(GenerationLock());
    g_scanDone.Reset();
    g_scanThreadsUp.Reset();
    return g_generation.fetch_add(1) + 1;
}

CChecksumThread::CChecksumThread() : m_generation(g_generation.load()) {}

bool CChecksumThread::Launch() {
    NewGeneration();
    return CWorkerThread::Start(std::make_unique<CChecksumThread>(), Priority::Lowest);
}

int CChecksumThread::RunTask() {
    ScanDoneOnExit done(m_generation);
    const auto stale = [this] {
        return g_cancelUpdate.load() != 0 || g_generation.load() != m_generation;
    };
    std::lock_guard<std::mutex> only(ScanLock());
    // A newer run began while this scan waited: its own scan does the work.
    if (g_generation.load() != m_generation) return 0;
    const std::string folder = m_gameFolder.empty() ? GameFolder() : m_gameFolder;
    const std::filesystem::path cache =
        m_cacheFile.empty() ? std::filesystem::path(TemporaryFile(ChecksumCache::kFileName))
                            : m_cacheFile;
    RunChecksumScan(folder, cache, ChecksumMap::Instance(), stale, [&done] { done.Signal(); });
    return 0;
}

}  // namespace vm
