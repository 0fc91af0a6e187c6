#pragma once

namespace vm {

// Makes the crash frame (start-up and every worker's job) write "vmcrash.dmp" into the
// program's data folder (the program folder of a portable copy, app/ProgramLocations.h) when
// the process dies of a fatal signal. Call once, early in main.
void InstallCrashDump();

}  // namespace vm
