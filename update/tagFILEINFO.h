#pragma once

#include <cstddef>
#include <string>

namespace vm {

// One file of an update run.
struct tagFILEINFO {
    std::string remotePath;  // below the set's folder on the mirror: "Interface/..." with '/'
    std::string localPath;   // below the game folder: "Interface/..." with '/'
    std::string checksum;    // expected MD5 text

    // Field sizes of the record the list was designed for: longer values are left out.
    static constexpr std::size_t kMaxPathChars = 260;      // UTF-16 units
    static constexpr std::size_t kMaxChecksumChars = 255;  // bytes

    bool operator==(const tagFILEINFO&) const = default;
};

}  // namespace vm
