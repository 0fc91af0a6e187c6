#include "update/CRealmInfoThread.h"

#include <memory>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "update/MirrorEndpoints.h"
#include "update/UpdateInfo.h"
#include "update/UpdateInfoFetch.h"

namespace vm {

namespace {

// The splash dialog waits for g_infoReady: set it on every way out, a thrown one included.
struct InfoReadyOnExit {
    ~InfoReadyOnExit() { g_infoReady.Set(); }
};

}  // namespace

bool CRealmInfoThread::Launch(const TargetRef& target) {
    auto job = std::make_unique<CRealmInfoThread>();
    job->m_pMainWnd = target;
    if (CWorkerThread::Start(std::move(job))) return true;
    g_infoReady.Set();
    return false;
}

int CRealmInfoThread::RunTask() {
    InfoReadyOnExit ready;
    SetMirrorUrlsFromSettings();
    if (RunOnceADayTest(m_clock) == DayTest::AlreadyDoneToday) return 1;

    FetchChecksums();
    std::optional<UpdateInfoMap> info = FetchInformation();
    if (!info) {
        PostTo(m_pMainWnd, WM_VM_INFO_FAILED);
        return 0;
    }
    PublishSets(*info);
    return 1;
}

}  // namespace vm
