#pragma once

#include <filesystem>

namespace vm {

// true when path is an ELF executable this machine runs: the same class, byte order and
// machine as the running program, and an executable or position-independent image. A
// downloaded client or updater that is not one is never started.
bool IsNativeExecutable(const std::filesystem::path& path);

}  // namespace vm
