#pragma once

namespace vm::cli {

// velmora does not load libcurl (and the thirty libraries behind it) before main: its curl_
// functions are stand-ins that load the library on first use. This starts that load on a
// helper thread, so it overlaps the command's own start (the checksum scan of an update)
// instead of delaying every command. Safe to call more than once; without a thread the
// first curl call loads the library itself.
void StartLoadingCurl();

}  // namespace vm::cli
