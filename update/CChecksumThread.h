#pragma once

#include <filesystem>
#include <string>

#include "app/CWorkerThread.h"

namespace vm {

// The local checksum scan on its own worker at the lowest priority. The main window resets
// g_scanDone and clears g_cancelUpdate, then starts it; it fills ChecksumMap::Instance(),
// rewrites "vmmd5index.dat" in the temporary folder and always sets g_scanDone at the end.
class CChecksumThread : public CWorkerThread {
  public:
    // Starts a scan with the application's game folder at the lowest priority.
    static bool Launch();

    // Empty: the application's game folder and the temporary folder's cache file.
    std::string m_gameFolder;
    std::filesystem::path m_cacheFile;

  protected:
    int RunTask() override;
};

}  // namespace vm
