#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "update/UpdateInfo.h"

namespace vm {

// The requests for "checksum.txt", "Info.z" and "filelist.xml.z", through the shared HTTP
// session. Called from worker threads (the update-information job and the update run); the
// results go to the application object, failures to the user through the prompter.

// GETs the checksum URL and stores its two lines as the expected Info and list checksums.
// Silent: an unreachable file, an HTTP error or a body without a line break leaves the
// previous values. true when they were replaced. reason, when given, gets the words for an
// answer that was too slow, out of time or too large (the run's status line tells of those).
bool FetchChecksums(std::string* reason = nullptr);

// Brings "Info" into the temporary folder (downloading "Info.z" only when the local copy's
// MD5 is not the expected one), adds its entries to the published update information and
// returns the information as it now is. nullopt after telling the user: "版本检测失败。" for
// an HTTP error, otherwise the reason followed by the request to visit the support forum.
[[nodiscard]] std::optional<UpdateInfoMap> FetchInformation();

// The add-on sets info publishes, as the windows and later runs see them.
struct PublishedSets {
    std::vector<std::string> names;              // in publication order
    std::map<std::string, std::string> folders;  // by name
};
// Rebuilds the published sets from info (a name keeps the folder it was first given) and
// returns what they now are.
PublishedSets PublishSets(const UpdateInfoMap& info);

// Below the temporary folder, removes whatever stands where folder or a folder above it must
// be and is not a folder. Outside the temporary folder it does nothing.
void ClearFolderWay(const std::filesystem::path& folder);

// Where a set's file list is kept between runs: its own folder inside the temporary folder's
// "filelists",
// since "checksum.txt" carries one list checksum and a list cached for one set must never
// pass for another's. setFolder is the set's folder on the mirror ("/tvrn").
std::filesystem::path CachedFileListPath(const std::string& setFolder);

// Downloads url into file: 0 on success, -1 on failure after telling the user.
using ListDownloader =
    std::function<int(const std::string& url, const std::filesystem::path& file)>;

// The update run's list step: uses the cached "filelist.xml" of the set when its MD5 is the
// expected list checksum, otherwise downloads url (the "filelist.xml.z" archive, at most
// RequestLimits::fileListCap) with download (the run passes its own, which adds
// "Cache-Control: no-cache"; by default the shared session's plain fetch) and takes only
// "filelist.xml" from it. Returns the
// document, or nullopt when it could not be had (the reason has been shown); listMd5, when
// given, receives the document's MD5.
std::optional<std::string> FetchFileList(const std::string& setFolder, const std::string& url,
                                         const ListDownloader& download = {},
                                         std::string* listMd5 = nullptr);

// Beside the set's cached list: the entries made from it (LoadFileEntries, SaveFileEntries).
std::filesystem::path CachedFileEntriesPath(const std::string& setFolder);

}  // namespace vm
