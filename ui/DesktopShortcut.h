#pragma once

// The freedesktop launcher "TovrinVelmora.desktop": on the desktop and in the applications
// menu. UI thread; the files are written whole or not at all.

#include <filesystem>
#include <string>

namespace vm {

inline constexpr char kLauncherName[] = "TovrinVelmora.desktop";

// `xdg-user-dir DESKTOP` when it names a folder, else ~/Desktop.
std::filesystem::path DesktopFolder();
// $XDG_DATA_HOME/applications, else ~/.local/share/applications.
std::filesystem::path ApplicationsFolder();

// The launcher's text: Exec the program, Path its folder, Icon the picture beside it.
std::string LauncherText(const std::filesystem::path& program, const std::filesystem::path& icon);

// Writes the launcher into folder (created when missing) and marks it executable; 0 on
// success, else the errno of the step that failed.
int WriteLauncher(const std::filesystem::path& folder, const std::filesystem::path& program,
                  const std::filesystem::path& icon);

// Puts the program icon into folder, the program's data folder (once) and returns its path;
// empty when it could not be written.
std::filesystem::path InstallProgramIcon(const std::filesystem::path& folder);

}  // namespace vm
