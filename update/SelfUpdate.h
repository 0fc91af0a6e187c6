#pragma once

#include <filesystem>
#include <string>

#include "app/ManualResetEvent.h"
#include "app/MessageTarget.h"
#include "app/Version.h"

namespace vm {

// The running client's version, compared with the update information's `Version`.
inline constexpr const char* kClientVersion = kProgramVersion;
// Files of the self-update in the program folder, and the window program they replace.
inline constexpr char kProgramFileName[] = "Velmora-TVRN";
inline constexpr char kNewClientFileName[] = "Velmora-TVRN.new";
inline constexpr char kUpdaterFileName[] = "VMUpdate";

enum class SelfUpdateResult {
    Continue,  // go on with the add-on update
    Stop,      // the updater was started, or the user cancelled during the downloads
};

// The self-update check at the start of an update run, on the run's worker thread: when the
// update information announces another `Version`, waits for g_shortcutOffered, asks the
// user, downloads the new client to "Velmora-TVRN.new" and the updater to "VMUpdate" in the
// program folder (overall progress to target), and starts the updater as "VMUpdate PID" in
// the game folder, then sends WM_VM_SELF_UPDATE_EXIT to target. A download that is not an
// executable for this machine is deleted and never started. cacheBuster is appended as a
// query when the information asks for it.
// The offer waited for is shortcutGate (the run's); a cancel ends that wait and the run.
SelfUpdateResult RunSelfUpdateCheck(const TargetRef& target, const std::string& cacheBuster,
                                    ManualResetEvent& shortcutGate);

}  // namespace vm
