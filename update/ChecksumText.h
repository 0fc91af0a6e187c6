#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vm {

// The two expected checksums a mirror publishes in "checksum.txt".
struct ExpectedChecksums {
    std::string info;  // MD5 of the extracted "Info"
    std::string list;  // MD5 of the extracted "filelist.xml"
};

// Splits the text at its first line break (CR LF, or LF when the text holds no CR LF): line
// one is the Info checksum, everything after the break the list checksum, both unchanged.
// nullopt when the text holds no line break at all (the caller then changes nothing).
std::optional<ExpectedChecksums> ParseChecksumText(std::string_view text);

// The file a mirror serves: info, CR LF, list, no trailing line break.
std::string FormatChecksumText(const ExpectedChecksums& sums);

}  // namespace vm
