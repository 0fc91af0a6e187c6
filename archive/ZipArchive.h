#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vm {

// Caps against archives that expand without bound.
struct ZipLimits {
    std::uint64_t maxEntryBytes = 512ull << 20;  // one entry's uncompressed size
    std::uint64_t maxTotalBytes = 1ull << 30;    // the whole archive, expanded
};

struct ZipExtractResult {
    bool opened = false;
    std::string error;                 // why extraction stopped; empty when it did not
    std::vector<std::string> written;  // relative paths ('/' form) of the files written
    std::vector<std::string> refused;  // entry names left out (outside, link, too large)

    // The archive was read and every entry that was not refused is on disk.
    bool Ok() const { return opened && error.empty(); }
    // ... and nothing was refused.
    bool Complete() const { return Ok() && refused.empty(); }
};

// Extracts every entry of the archive with its stored path below folder (created when
// missing). Entries whose name would land outside folder, whose target folder resolves
// outside it through an existing link, that are symbolic links, or that exceed the entry
// cap are refused and skipped; an archive whose entries together exceed the total cap is
// refused whole before anything is written. Each file is written beside its place and
// renamed over it, so a failed entry never leaves a torn file. Runs on the calling thread.
[[nodiscard]] ZipExtractResult ExtractZipFile(const std::filesystem::path& archive,
                                              const std::filesystem::path& folder,
                                              const ZipLimits& limits = {});

// The bytes of one entry of an archive held in memory; nullopt when the archive or the
// entry cannot be read or the entry exceeds the entry cap.
std::optional<std::string> ReadZipEntry(std::string_view archive, std::string_view entryName,
                                        const ZipLimits& limits = {});

// Writes the one entry entryName of an archive (held in memory, or the file archivePath)
// to dest, streamed (never whole in memory), beside dest and renamed over it; nothing else
// of the archive is written anywhere. false (error says why, in the program's words) when
// the archive cannot be read, holds no such entry, or the entry exceeds the entry cap.
[[nodiscard]] bool ExtractZipEntry(std::string_view archive, std::string_view entryName,
                                   const std::filesystem::path& dest, const ZipLimits& limits,
                                   std::string& error);
[[nodiscard]] bool ExtractZipFileEntry(const std::filesystem::path& archivePath,
                                       std::string_view entryName,
                                       const std::filesystem::path& dest, const ZipLimits& limits,
                                       std::string& error);

// The names of the entries of an archive held in memory, in archive order.
std::optional<std::vector<std::string>> ListZipEntries(std::string_view archive);

// A ZIP archive (deflate, default level) holding the given (name, bytes) entries in order;
// nullopt on failure or when there is nothing to pack.
std::optional<std::string> MakeZip(const std::vector<std::pair<std::string, std::string>>& entries);

// One entry of an archive written from disk: a folder entry when file is empty, else the
// bytes of file under name.
struct ZipFileEntry {
    std::string name;
    std::filesystem::path file;
};

// Writes the entries, in order, as a ZIP archive (deflate, default level) at archive. The
// archive is written beside its place and renamed over it once complete, so a failure keeps
// the old one. false (error says why) on failure or when there is nothing to pack.
[[nodiscard]] bool WriteZipFile(const std::filesystem::path& archive,
                                const std::vector<ZipFileEntry>& entries, std::string& error);

}  // namespace vm
