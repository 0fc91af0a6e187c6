#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "update/CFileListModel.h"

namespace vm {

// An add-on's description file: "info.ini" in its folder, 8-bit text in code page 936.
inline constexpr char kAddOnInfoFile[] = "info.ini";
// The key and value by which an add-on says this program installed it.
inline constexpr char kRevisionKey[] = "X-Revision";
inline constexpr char kRevisionOurs[] = "Velmora";

// GBK (code page 936) to UTF-8; a byte sequence that is not GBK becomes U+FFFD.
std::string GbkToUtf8(std::string_view gbk);

// The cleaning a value gets before it is stored: "|c" or "|C" removes itself and the next
// eight characters (a colour code); any other '|' removes itself and the next character
// when at most nine characters follow it, otherwise ten characters; a run of four or more
// spaces that starts at the sixth character or later becomes one line break. Characters
// are counted in UTF-16 units.
std::string CleanInfoValue(std::string_view utf8);

// The entries of an "info.ini" text (already UTF-8): lines split at CR and LF, empty lines
// skipped; "key = value" with optional blanks around '=' and after the value; keys starting
// with "lua" are left out; values cleaned. A later key replaces an earlier one.
std::map<std::string, std::string> ParseAddOnInfo(std::string_view utf8);

// An "info.ini" larger than this is no description file and is never read.
inline constexpr std::uintmax_t kMaxAddOnInfoSize = 1 << 20;

// The entries of the add-on's "info.ini" in folder: the file named exactly so when there is
// one, else one whose name differs only in letter case (as the game finds it); nullopt when
// there is none, it cannot be read or it is larger than kMaxAddOnInfoSize.
std::optional<std::map<std::string, std::string>> ReadAddOnInfoFile(
    const std::filesystem::path& folder);

// The add-on a file belongs to: the first folder below the game's Interface folder.
struct AddOnFolder {
    std::string name;  // in the path's own letter case
    std::string path;  // the folder's full path
};
// The add-on folder of fullPath below base (a game folder, or the temporary folder the run
// stages the list's files in); nullopt for a path outside Interface or directly in it.
std::optional<AddOnFolder> AddOnFolderOf(const std::string& fullPath, const std::string& base);
// Whether the add-on in folder says in its "info.ini" that this program installed it.
bool IsOurAddOnFolder(const std::filesystem::path& folder);

// Whether ".z" archives found in the folder are hashed as well.
enum class ArchiveFiles { Include, Skip };

// Reads the add-on in folder: its "info.ini" (as ReadAddOnInfoFile finds it) into properties, and
// the MD5 of every file below folder, recursively, into files (keys relative to folder, '/'
// separated). nullopt when the folder holds no "info.ini".
std::optional<AddOnRecord> ReadAddOnFolder(const std::filesystem::path& folder,
                                           ArchiveFiles archives);

}  // namespace vm
