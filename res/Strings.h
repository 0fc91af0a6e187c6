#pragma once

namespace vm::res {

// Makes the program's string table the one skinned windows look numbers up in ("%{n}" in
// marked-up text, tooltips by control id). Call once at start-up on the UI thread.
void RegisterStringTable();

}  // namespace vm::res
