#pragma once

#include <string>

#include "app/CWorkerThread.h"

namespace vm {

// Fetches the download ticket, downloads the archive and restores the Account folder once.
// Reports to m_pMainWnd with WM_VM_CONFIG_DOWNLOAD_DONE or WM_VM_CONFIG_DOWNLOAD_FAILED
// (payload: the reason, or nullopt when the download or the restore already told the user).
class CDownloadConfigThread : public CWorkerThread {
  public:
    std::string m_errorMessage;
    std::string m_downloadUrl;

  protected:
    int RunTask() override;
};

}  // namespace vm
