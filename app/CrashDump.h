#pragma once

namespace vm {

// Makes the crash frame (start-up and every worker's job) write "vmcrash.dmp" into the
// program folder when the process dies of a fatal signal. Call once, early in main.
void InstallCrashDump();

}  // namespace vm
