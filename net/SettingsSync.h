#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// Packing and restoring the game's Account folder for the settings sync (and, with a
// sub-folder, one account's settings). Run on the calling thread (the sync workers); failures
// that have no message of their own are shown through the application's prompter.

constexpr char kSettingsArchiveName[] = "tvrnconfig.dat";

// The game's "Account" folder, without a trailing '/': GameAccountFolder() (app/GameFolder.h),
// empty when the settings name no usable folder.
std::filesystem::path AccountFolder();
// The archive in the program's temporary folder.
std::filesystem::path SettingsArchive();

// Packs the Account folder (subFolder nullopt) or one account's folder into archive. At the
// top of the whole folder every file but "*ela" is packed; at the top of an account only the
// "*ela" files; below that, every folder and the "*.dat" and "*.ini" files. false when there
// is nothing to pack or the archive could not be written (the old archive is then untouched).
[[nodiscard]] bool PackAccountFolder(const std::optional<std::string>& subFolder,
                                     const std::filesystem::path& archive);

// Replaces the Account folder (or one account's folder) with the archive's content. The
// archive is extracted into a staging folder beside it first, and the old folder is swapped
// out only once every entry is there: a failed restore leaves the old folder as it was.
// Entries that would land outside the folder fail the restore.
[[nodiscard]] bool RestoreAccountFolder(const std::optional<std::string>& subFolder,
                                        const std::filesystem::path& archive);

// Whether name is one a restore gives the folder it extracts into or the one it parks the old
// folder under (".NAME.restore-XXXXXX", ".NAME.old-XXXXXX"). Such a folder, left behind when a
// restore is killed, is never an account and never packed; the next restore of the same
// folder removes it (or, for a parked folder whose account is gone, puts it back).
[[nodiscard]] bool IsRestoreWorkFolder(std::string_view name);

// Removes path and everything below it, read-only entries included; links are removed, never
// followed. true when path is gone (also when it never existed).
bool DeleteFolderTree(const std::filesystem::path& path);

// How the server answered an upload; nullopt is success, otherwise the failure text.
std::optional<std::string> UploadAnswerError(std::string_view answer);

// A download ticket read: the archive URL, or the failure text.
struct DownloadTicket {
    std::optional<std::string> url;
    std::string error;
};
DownloadTicket ParseDownloadTicket(std::string_view answer);

}  // namespace vm
