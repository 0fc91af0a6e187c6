#pragma once

#include <string>

#include "update/UnknownAddOns.h"
#include "update/UpdateOutcome.h"

namespace vm {

// What an update session tells its front end (the main window, `velmora update`, a test), on
// the run's threads, in the order the run does it. The calls the run waits for (status,
// overall progress, the unknown add-on question, the self-update exit) return once the front
// end has handled them; the others it may queue.
class IUpdateListener {
  public:
    virtual ~IUpdateListener() = default;

    virtual void OnStatus(const std::string& text) = 0;
    // Files done of count, or percent of 100; (0, 0) resets.
    virtual void OnTotalProgress(long done, long count) = 0;
    // The current file's percent of 100; (0, 0) resets.
    virtual void OnFileProgress(long percent, long count) = 0;
    // Files the list no longer carries: answered by the one rule, DecideUnknownAddOns
    // ([Update] DeleteMode, then the groups; none left isolates), with the front end showing
    // the groups.
    virtual UnknownAddOnsDecision OnUnknownAddOns(const UnknownAddOnsQuestion& question) = 0;
    // The run installed at least one file.
    virtual void OnFilesChanged() = 0;
    // The run handed over to the updater: the program is to end. No OnEnd follows.
    virtual void OnSelfUpdateExit() = 0;
    virtual void OnEnd(UpdateOutcome outcome) = 0;
};

}  // namespace vm
