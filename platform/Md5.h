#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// MD5 digest as 32 lower-case hex digits.
std::string Md5Hex(std::string_view bytes);

// MD5 of a file's content, read in blocks; nullopt when the file cannot be opened or read.
std::optional<std::string> Md5HexOfFile(const std::filesystem::path& path);

}  // namespace platform
