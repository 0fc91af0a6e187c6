#pragma once

#include <functional>

#include "app/CWorkerThread.h"
#include "update/OnceADayTest.h"

namespace vm {

// The update-information job, started by the splash dialog with the dialog as m_pMainWnd:
// sets the mirror URLs from `Update`/`Server`, runs the once-a-day test, fetches the
// checksums and "Info" and rebuilds the published sets. Posts WM_VM_INFO_FAILED to its
// target when "Info" could not be had, and sets g_infoReady when it ends, whatever happened.
class CRealmInfoThread : public CWorkerThread {
  public:
    // Starts the job reporting to target (the splash dialog); false when no thread could be
    // created, in which case g_infoReady is set at once so nobody waits for it.
    static bool Launch(const TargetRef& target);

    // The day test's clock; tests set their own.
    LocalClock m_clock = LocalNow;

  protected:
    int RunTask() override;
};

}  // namespace vm
