#pragma once

// Where a test finds the programs and data it needs, compiled in by vm_test, so a test
// program runs the same under ctest and on its own.

#include <filesystem>

namespace vm::test {

// The program folder (Velmora-TVRN, velmora, VMUpdate, velmora-devserver).
inline std::filesystem::path BinDir() {
    return VM_TEST_BIN_DIR;
}

// The test programs and their helper programs (probes, fake clients).
inline std::filesystem::path ProgramDir() {
    return VM_TEST_PROGRAM_DIR;
}

// tests/data in the source tree.
inline std::filesystem::path DataDir() {
    return VM_TEST_DATA_DIR;
}

}  // namespace vm::test
