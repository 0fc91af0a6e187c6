#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/CWorkerThread.h"

namespace vm {

// The local checksum scan on its own worker at the lowest priority. The main window clears
// g_cancelUpdate and starts it (Launch); it fills ChecksumMap::Instance(), rewrites
// "vmmd5index.dat" in the temporary folder when an entry changed and always sets g_scanDone
// at the end. Each run's scan has its own generation: a scan of an earlier run that is still
// going stops early and never sets g_scanDone for a newer one; scans never overlap.
class CChecksumThread : public CWorkerThread {
  public:
    // Starts a new run's scan with the application's game folder: resets g_scanDone for it.
    static bool Launch();
    // Begins a new scan generation (g_scanDone reset); what Launch does first, for starters
    // that fill the fields themselves.
    static std::uint64_t NewGeneration();

    CChecksumThread();

    // Empty: the application's game folder and the temporary folder's cache file.
    std::string m_gameFolder;
    std::filesystem::path m_cacheFile;

  protected:
    int RunTask() override;

  private:
    std::uint64_t m_generation;
};

}  // namespace vm
