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

// The development signing key of this build tree (cmake/SigningKeys.cmake); empty when the
// build trusts release keys only, and nothing can be signed for it.
inline std::filesystem::path SigningKey() {
    return VM_TEST_SIGNING_KEY;
}

}  // namespace vm::test
