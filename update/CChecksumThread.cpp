#include "update/CChecksumThread.h"

#include <memory>

#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "update/ChecksumCache.h"
#include "update/ChecksumMap.h"
#include "update/ChecksumScan.h"

namespace vm {

namespace {

// The update run waits for g_scanDone; it is set however the job ends.
struct ScanDoneOnExit {
    ScanDoneOnExit() = default;
    ScanDoneOnExit(const ScanDoneOnExit&) = delete;
    ScanDoneOnExit& operator=(const ScanDoneOnExit&) = delete;
    ~ScanDoneOnExit() { g_scanDone.Set(); }
};

}  // namespace

bool CChecksumThread::Launch() {
    return CWorkerThread::Start(std::make_unique<CChecksumThread>(), Priority::Lowest);
}

int CChecksumThread::RunTask() {
    ScanDoneOnExit done;
    const std::string folder = m_gameFolder.empty() ? GameFolder() : m_gameFolder;
    const std::filesystem::path cache =
        m_cacheFile.empty() ? std::filesystem::path(TemporaryFile(ChecksumCache::kFileName))
                            : m_cacheFile;
    RunChecksumScan(folder, cache, ChecksumMap::Instance(), g_cancelUpdate);
    return 0;
}

}  // namespace vm
