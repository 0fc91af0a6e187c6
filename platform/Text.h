#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 is the program's text inside; UTF-16 (little-endian on the wire and in records)
// only at the edges. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// ASCII-only lower-casing, as used for path keys and case-insensitive names.
std::string AsciiLower(std::string_view s);

}  // namespace platform
