#pragma once

#include <filesystem>

namespace platform {

// "Clear the attributes" before rewriting a file: the only attribute that stops a rewrite
// here is a missing owner write bit, so this adds it. false when the mode cannot be changed.
bool ClearFileAttributes(const std::filesystem::path& path);

}  // namespace platform
