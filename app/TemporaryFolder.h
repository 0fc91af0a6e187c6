#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vm {

// The program's temporary folder: "Velmora-TVRN" in the user's temporary folder ($TMPDIR,
// else /tmp), which must be a real folder owned by this user with mode 0700 (the temporary
// folder is shared by every user). A plain file of that name is replaced by the folder; a
// folder owned by someone else or a symbolic link is never used, and the game folder's
// "vmtemp" takes its place. Checked on every call; callable from any thread.

// $TMPDIR, else /tmp.
std::filesystem::path SystemTempPath();

// The folder with one trailing '/', created when needed.
std::string TemporaryFolder();

// TemporaryFolder() + name.
std::string TemporaryFile(std::string_view name);

}  // namespace vm
