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

// The blanks Trim removes unless told otherwise: ASCII spaces, tabs and line ends.
inline constexpr std::string_view kAsciiBlanks = " \t\r\n";

// s without the leading and trailing characters found in blanks.
std::string_view Trim(std::string_view s, std::string_view blanks = kAsciiBlanks);

// text without its control characters (C0 apart from LF and TAB, DEL, and the UTF-8 encoded
// C1 ones): a server's words printed on a terminal can then never move the cursor, recolour
// or retitle it.
std::string WithoutControlCharacters(std::string_view text);

}  // namespace platform
