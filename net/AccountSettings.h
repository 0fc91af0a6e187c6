#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// One account's settings as a ".wwc" file (a ZIP archive), for the export and import windows
// and `velmora account`. The accounts are the sub-folders of AccountFolder() (the settings
// sync's). Runs on the calling thread; archive and file errors that have a reason of their own
// are shown through the application's prompter before the false result.

inline constexpr char kAccountFileSuffix[] = ".wwc";

// The account names (real sub-folders, links left out), sorted by name.
[[nodiscard]] std::vector<std::string> ListAccounts();

// A name that stays one folder inside the Account folder: not empty, no separator, not "."
// or "..", no NUL.
[[nodiscard]] bool IsValidAccountName(std::string_view name);

// Where an export goes unless the user says otherwise: beside the Account folder, in the game
// folder, named after the account.
[[nodiscard]] std::filesystem::path DefaultExportPath(const std::string& account);

// The account an archive is proposed for: its file title up to the first '.'
// ("Alice.backup.wwc" gives "Alice").
[[nodiscard]] std::string AccountNameFromArchive(const std::filesystem::path& archive);

// Writes the account's "*ela" files, every sub-folder and the sub-folders' "*.dat" and
// "*.ini" files into target, replacing it only once the new archive is complete. An account
// with nothing to pack gives an archive without entries. false when the account does not
// exist or the archive could not be written.
[[nodiscard]] bool ExportAccount(const std::string& account, const std::filesystem::path& target);

// Replaces the account's folder with the archive's content. The archive is extracted into a
// staging folder first; a bad, truncated or unsafe archive (entries climbing out, absolute
// names, links) leaves the old folder as it was and gives false.
[[nodiscard]] bool ImportAccount(const std::filesystem::path& archive, const std::string& account);

}  // namespace vm
