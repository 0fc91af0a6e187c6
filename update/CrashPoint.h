#pragma once

namespace vm {

// The steps of a run after which the disk holds something new (a link made, a file renamed
// or moved aside, a folder made or removed). A test program sets a hook that ends the
// process at one of them, the way a crash or a kill would; the program itself never sets
// one. Safe to call from any thread.
using CrashHook = void (*)();
void SetCrashHook(CrashHook hook);
void CrashPoint();

}  // namespace vm
