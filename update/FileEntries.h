#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "update/tagFILEINFO.h"

namespace vm {

class CFileListModel;

// One entry per file of the model: top-level files, then every regular add-on's files, then
// every optional add-on's, each in key order. Entries whose paths exceed 260 UTF-16 units or
// whose checksum exceeds 255 bytes are left out. Not locked: the caller owns model.
std::vector<tagFILEINFO> BuildFileEntries(const CFileListModel& model);

// Keeps one entry per path, the first: a later entry for a path already listed (with the
// same checksum or another) is dropped, and so is one that needs a listed file's path as a
// folder or a listed folder's path as a file. A list cannot have both; taking the first
// keeps every run choosing the same, so the folder settles. Returns how many were dropped.
std::size_t DropConflictingEntries(std::vector<tagFILEINFO>& entries);

// What BuildFileEntries made of a list, kept beside the list for the next run: parsing ten
// thousand entries of XML costs a no-change run more than anything but its walk. listMd5 is
// the MD5 of the list the entries came from. Load gives nullopt for a missing file, another
// list's, an older format's or a damaged one (the caller parses the list again), and checks
// every entry it reads back as the parser would have. Save replaces the file whole.
// A file over maxBytes is not read at all (the run passes four times the list's own cap).
std::optional<std::vector<tagFILEINFO>> LoadFileEntries(const std::filesystem::path& file,
                                                        std::string_view listMd5,
                                                        std::uint64_t maxBytes);
bool SaveFileEntries(const std::filesystem::path& file, std::string_view listMd5,
                     const std::vector<tagFILEINFO>& entries);

}  // namespace vm
