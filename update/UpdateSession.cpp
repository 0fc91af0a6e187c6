#include "update/UpdateSession.h"

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "app/messages.h"
#include "update/CChecksumThread.h"
#include "update/CRealmInfoThread.h"
#include "update/CUpdateThread.h"

namespace vm {

// What the workers report to: each WM_VM_ message of a run becomes the listener's call, on
// the worker's own thread, so a Send is answered when the listener returns and the order is
// the run's.
class UpdateSession::Target : public MessageTarget {
  public:
    Target(UpdateSession* session, std::shared_ptr<IUpdateListener> listener)
        : m_session(session), m_listener(std::move(listener)) {}

    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override {
        return Dispatch(msg, wParam, lParam);
    }
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload /*payload*/) override {
        Dispatch(msg, wParam, lParam);
        return true;
    }

    // The session is going: the run's last words reach the listener but not the session.
    void Detach() {
        std::lock_guard<std::mutex> g(m_lock);
        m_session = nullptr;
    }
    void ClearInfoFailed() { m_infoFailed.store(false); }
    bool InfoFailed() const { return m_infoFailed.load(); }

  private:
    std::intptr_t Dispatch(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
        IUpdateListener& listener = *m_listener;
        switch (msg) {
            case WM_VM_STATUS:
                if (wParam) listener.OnStatus(*reinterpret_cast<const std::string*>(wParam));
                return 0;
            case WM_VM_TOTAL_PROGRESS:
                listener.OnTotalProgress(static_cast<long>(wParam), static_cast<long>(lParam));
                return 0;
            case WM_VM_FILE_PROGRESS:
                listener.OnFileProgress(static_cast<long>(wParam), static_cast<long>(lParam));
                return 0;
            case WM_VM_CONFIRM_DELETE: {
                static const std::vector<std::string> kNone;
                const auto* unknown = reinterpret_cast<const std::vector<std::string>*>(wParam);
                const auto* listed = reinterpret_cast<const std::vector<std::string>*>(lParam);
                const UnknownAddOnsQuestion question{unknown ? *unknown : kNone,
                                                     listed ? *listed : kNone, GameFolder(),
                                                     TemporaryFolder()};
                return listener.OnUnknownAddOns(question) == UnknownAddOnsDecision::Isolate;
            }
            case WM_VM_FILES_CHANGED:
                listener.OnFilesChanged();
                return 0;
            case WM_VM_SELF_UPDATE_EXIT:
                listener.OnSelfUpdateExit();
                Ended(std::nullopt, true);
                return 0;
            case WM_VM_UPDATE_END: {
                const auto outcome = static_cast<UpdateOutcome>(wParam);
                listener.OnEnd(outcome);
                Ended(outcome, false);
                return 0;
            }
            case WM_VM_INFO_FAILED:
                m_infoFailed.store(true);
                return 0;
            default:
                return 0;
        }
    }
    void Ended(std::optional<UpdateOutcome> outcome, bool handedOver) {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_session) m_session->Ended(outcome, handedOver);
    }

    std::mutex m_lock;
    UpdateSession* m_session;
    std::shared_ptr<IUpdateListener> m_listener;
    std::atomic<bool> m_infoFailed{false};
};

UpdateSession::UpdateSession(std::shared_ptr<IUpdateListener> listener, UpdateGates gates)
    : m_listener(std::move(listener)),
      m_gates(std::move(gates)),
      m_target(std::make_shared<Target>(this, m_listener)) {}

UpdateSession::~UpdateSession() {
    m_target->Detach();
}

bool UpdateSession::FetchInformationFirst() {
    g_cancelUpdate.store(0);
    m_scanStarted = CChecksumThread::Launch();
    m_target->ClearInfoFailed();
    g_infoReady.Reset();
    // When no thread could be made, Launch sets g_infoReady itself.
    CRealmInfoThread::Launch(m_target);
    g_infoReady.Wait();
    return !m_target->InfoFailed();
}

UpdateSession::Started UpdateSession::Start(Kind kind) {
    // A run already going (the command line's, or one not yet ended) is not doubled.
    if (g_updateRunning.load()) return Started::AlreadyRunning;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_running = true;
        m_handedOver = false;
        m_outcome.reset();
    }
    if (kind == Kind::Refresh) theApp().Runs().refreshRequest.store(1);
    g_cancelUpdate.store(0);
    if (!m_scanStarted) g_scanDone.Reset();
    if (!(m_launcher ? m_launcher() : LaunchWorkers())) {
        std::lock_guard<std::mutex> g(m_lock);
        m_running = false;
        return Started::Failed;
    }
    return Started::Yes;
}

bool UpdateSession::LaunchWorkers() {
    const bool scanning = m_scanStarted || CChecksumThread::Launch();
    // The next run has a scan of its own.
    m_scanStarted = false;
    // Without a scan the run would wait for its checksums forever.
    if (!scanning) return false;
    auto run = std::make_unique<CUpdateThread>();
    run->m_pMainWnd = m_target;
    run->m_gates = m_gates;
    return CWorkerThread::Start(std::move(run));
}

void UpdateSession::Cancel() {
    g_cancelUpdate.store(1);
    m_gates.Wake();
}

void UpdateSession::WaitForEnd() {
    std::unique_lock<std::mutex> l(m_lock);
    m_ended.wait(l, [this] { return !m_running; });
}

void UpdateSession::Finish() {
    // The scan stops early; its cache is saved either way.
    Cancel();
    while (!CWorkerThread::WaitForAll(std::chrono::minutes(1))) {
    }
    m_scanStarted = false;
}

std::optional<UpdateOutcome> UpdateSession::Outcome() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_outcome;
}

bool UpdateSession::HandedOver() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_handedOver;
}

void UpdateSession::Ended(std::optional<UpdateOutcome> outcome, bool handedOver) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_running = false;
        m_handedOver = handedOver;
        m_outcome = outcome;
    }
    m_ended.notify_all();
}

}  // namespace vm
