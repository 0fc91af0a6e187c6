#pragma once

#include <chrono>

#include "app/ManualResetEvent.h"

namespace vm::cli {

// velmora does not load libcurl (and the thirty libraries behind it) before main: its curl_
// functions are stand-ins that load the library on first use. This starts that load on a
// helper thread, so it overlaps the command's own start (the checksum scan of an update)
// instead of delaying every command. Safe to call more than once; without a thread the
// first curl call loads the library itself.
void StartLoadingCurl();

// The same, but the library is not loaded (by this or by any first curl call) before ready is
// set, for at most kMaxLoadHold: while the loader maps and relocates the library, no thread can
// be made and no thread_local registered, so a command that starts threads of its own first
// (the update's scan) lets them start before the load.
void StartLoadingCurlAfter(vm::ManualResetEvent& ready);
constexpr std::chrono::milliseconds kMaxLoadHold{200};

}  // namespace vm::cli
