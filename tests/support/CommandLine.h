#pragma once

// Running the project's programs from a test through the shell.

#include <filesystem>
#include <string>

#include "tests/support/TestPaths.h"

namespace vm::test {

// A program of the program folder (velmora, Velmora-TVRN, velmora-devserver).
inline std::filesystem::path Bin(const std::string& name) {
    return BinDir() / name;
}

// s as one word of a POSIX shell command line.
inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace vm::test
