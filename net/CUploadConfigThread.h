#pragma once

#include "app/CWorkerThread.h"

namespace vm {

// Packs the Account folder and uploads it to the passport server once. Reports to m_pMainWnd
// with WM_VM_CONFIG_UPLOAD_DONE or WM_VM_CONFIG_UPLOAD_FAILED (payload: the reason).
class CUploadConfigThread : public CWorkerThread {
  protected:
    int RunTask() override;
};

}  // namespace vm
