#pragma once

#include "app/CWorkerThread.h"

namespace vm {

// Asks the passport server once whether the stored cookies still stand for an account; a
// non-empty answer becomes the account text (and sends statistics action 5). Posts
// WM_VM_ACCOUNT_CHANGED to m_pMainWnd after every completed check; a failed request is
// silent.
class CCheckAccountThread : public CWorkerThread {
  protected:
    int RunTask() override;
};

}  // namespace vm
