// Writes the pictures of tests/data/imaging. Run after changing TestPatterns.h:
//   build/tests/make_imaging_test_pictures tests/data/imaging
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "TestPatterns.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const auto& picture : vm::testpics::BuildTestPictures()) {
        std::ofstream out(folder / picture.name, std::ios::binary | std::ios::trunc);
        out.write(picture.bytes.data(), static_cast<std::streamsize>(picture.bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", picture.name.c_str());
            return 1;
        }
    }
    return 0;
}
