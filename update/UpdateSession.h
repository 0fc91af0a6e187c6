#pragma once

// The one place an update run starts, for the main window and `velmora update` alike: it sets
// the process-wide flags (g_cancelUpdate, the refresh request, g_scanDone), starts the
// checksum scan and the run, and hands the run's reports to a typed listener. The run waits
// on the session's gates (the main window's page and shortcut offer, or none); Cancel ends
// any such wait at once.
//
// Owned by its front end on the thread that starts runs. The listener is called on the
// workers' threads. A run still going when the session is destroyed reports to nobody.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "update/IUpdateListener.h"
#include "update/UpdateGates.h"
#include "update/UpdateOutcome.h"

namespace vm {

class UpdateSession {
  public:
    enum class Kind {
        Automatic,  // at start-up: the run works from the information already fetched
        Refresh,    // the update button: the run fetches checksums and information again
    };
    enum class Started { Yes, AlreadyRunning, Failed };

    UpdateSession(std::shared_ptr<IUpdateListener> listener, UpdateGates gates);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // What the splash screen does before the window opens, for a front end without one: the
    // scan starts at once (it needs only the game folder) while the mirror choice, the day
    // test and the update information run to their end. false when the information could
    // not be had (the reason has been shown); a scan then stops again at Finish.
    bool FetchInformationFirst();

    // Starts a run (and its scan, unless FetchInformationFirst already did). A run already
    // going in this process is not doubled.
    Started Start(Kind kind);
    // Cancels the run: g_cancelUpdate, and the gates' waits end.
    void Cancel();
    // Waits until the run has ended (OnEnd or OnSelfUpdateExit has been called).
    void WaitForEnd();
    // Stops a scan no run needs any more and waits for every worker to end (the end of the
    // command line).
    void Finish();
    // How the last run ended; nullopt while it runs or when it handed over to the updater.
    std::optional<UpdateOutcome> Outcome() const;
    bool HandedOver() const;

    // Starts the scan and the run reporting to the session; what Start does after setting the
    // flags. The main window routes it through its own seam so tests can stand in for it.
    bool LaunchWorkers();
    void SetLauncher(std::function<bool()> launcher) { m_launcher = std::move(launcher); }

  private:
    class Target;
    void Ended(std::optional<UpdateOutcome> outcome, bool handedOver);

    std::shared_ptr<IUpdateListener> m_listener;
    UpdateGates m_gates;
    std::shared_ptr<Target> m_target;
    std::function<bool()> m_launcher;
    bool m_scanStarted = false;

    mutable std::mutex m_lock;
    std::condition_variable m_ended;
    bool m_running = false;
    bool m_handedOver = false;
    std::optional<UpdateOutcome> m_outcome;
};

}  // namespace vm
