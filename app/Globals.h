#pragma once

#include <atomic>
#include <cstdint>

#include "app/ManualResetEvent.h"

// Process-wide flags and events shared by the windows and the workers. The events are never
// destroyed, so a worker still running while the process exits never waits on a dead object.

// 0 when an update starts, 1 when the user cancels.
extern std::atomic<int> g_cancelUpdate;
// 1 while an update run's job runs.
extern std::atomic<std::uint8_t> g_updateRunning;
// Set by the checksum scan when it ends; reset by the starter before the scan.
extern vm::ManualResetEvent& g_scanDone;
// Set once a scan's own threads run (or could not be made): a library loaded while threads
// are being made holds up their start until it is in.
extern vm::ManualResetEvent& g_scanThreadsUp;
// Set when the update-information job ends, successful or not.
extern vm::ManualResetEvent& g_infoReady;
// Set at the end of the main window's desktop-shortcut offer.
extern vm::ManualResetEvent& g_shortcutOffered;
// Reset when the game has ended or could not start.
extern vm::ManualResetEvent& g_gameRunning;
