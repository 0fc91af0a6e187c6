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
// update information announces a newer `Version` than ours (ProgramVersion.h), waits for
// g_shortcutOffered, asks the user, downloads the new client to "Velmora-TVRN.new" and the
// updater to "VMUpdate" in the program folder (overall progress to target), each only after
// its detached signature NAME.sig and each kept only when that signature verifies against a
// key built into us (ProgramSignature.h); then leaves the client's signature beside it as
// "Velmora-TVRN.new.sig" for the updater, starts the updater as "VMUpdate PID" in the game
// folder and sends WM_VM_SELF_UPDATE_EXIT to target. A download that is unsigned, wrongly
// signed or not an executable for this machine is deleted and never started; the status says
// why and the add-on update goes on. cacheBuster is appended as a query when the information
// asks for it.
// A packaged install (app/ProgramLocations.h) never replaces its own files: it only says that
// the package manager installs the new version, and the add-on update goes on.
// The offer waited for is shortcutGate (the run's); a cancel ends that wait and the run.
SelfUpdateResult RunSelfUpdateCheck(const TargetRef& target, const std::string& cacheBuster,
                                    ManualResetEvent& shortcutGate);

}  // namespace vm
