#pragma once

#include <memory>

#include "app/ManualResetEvent.h"

namespace vm {

// What an update run waits on: the commit gate before it installs anything, the shortcut gate
// before it asks about a newer client. Both are events, so the run sleeps until one is set
// or the run is cancelled; Wake after setting g_cancelUpdate ends such a wait at once.
struct UpdateGates {
    std::shared_ptr<ManualResetEvent> commit;
    std::shared_ptr<ManualResetEvent> shortcut;

    // The main window's: theApp().Runs().commitGate (opened once its page has loaded) and
    // g_shortcutOffered (set once its shortcut offer is done).
    static UpdateGates MainWindow();
    // Open from the start: a front end with no page to wait for and no shortcut to offer.
    static UpdateGates Open();

    void Wake() const;
};

}  // namespace vm
