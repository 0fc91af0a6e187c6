#pragma once

#include <filesystem>

namespace platform {

// "Clear the attributes" before rewriting a file: the only attribute that stops a rewrite
// here is a missing owner write bit, so this adds it. A link is never followed (its target
// is left as it is). false when the mode cannot be changed.
bool ClearFileAttributes(const std::filesystem::path& path);

}  // namespace platform
