#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/CVelmoraApp.h"

namespace vm {

// The game-data upload: probes the data server for an id and a one-time token, then posts
// the zlib-packed pieces of the application's collected data with a signed checksum. Runs on
// the calling thread and blocks it for both requests; every failure ends it silently.
void UploadGameData();

// The data server's answer to the probe; nullopt when the request failed.
std::optional<std::string> ProbeDataServer();

// MD5 text of a file's content; nullopt when it cannot be read.
std::optional<std::string> Md5OfFile(const std::filesystem::path& path);

// The pieces of an upload, exposed for tests.
struct PackedGameData {
    std::string data;  // every non-empty compressed piece, in order
    std::string rup;   // compressed sizes, "0" for an empty piece, comma-separated
};
PackedGameData PackGameData(const CollectedData& collected);

// id ":" token; nullopt when the answer holds "error" or no colon, or when either part does
// not fit its 80-byte field (79 bytes of text).
struct ProbeAnswer {
    std::string id;
    std::string token;
};
std::optional<ProbeAnswer> ParseProbeAnswer(std::string_view answer);

// The signature block (data length + 417 bytes) whose first data length + 128 bytes the
// checksum covers.
std::string BuildSignatureBlock(std::string_view data, std::string_view token, std::string_view h1,
                                std::string_view h2, std::string_view h3);
std::string DataChecksum(std::string_view data, std::string_view token, std::string_view h1,
                         std::string_view h2, std::string_view h3);

// The multipart form the data server takes.
std::string BuildGameDataBody(std::string_view id, std::string_view checksum, std::string_view rup,
                              std::string_view data);

}  // namespace vm
