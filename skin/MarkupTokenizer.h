#pragma once

// Splits marked-up text into the pieces the renderer consumes. Qt-free so that the parser can
// be fuzzed on its own. Tokens are found at any position, which lets the renderer cut a run
// where the line ends and carry on from there.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "skin/WinTypes.h"

namespace vm {

enum class MarkupTokenKind { LineFeed, Tag, Ampersand, Blank, Run };

struct MarkupToken {
    MarkupTokenKind kind = MarkupTokenKind::Run;
    std::size_t begin = 0;
    std::size_t end = 0;       // one past the token
    char16_t letter = 0;       // tags: the tag letter
    bool closing = false;      // tags: "</x>"
    std::u16string_view args;  // tags: text between the letter and ">", leading blanks removed
};

// The token starting at `pos` (pos < text.size()).
MarkupToken NextMarkupToken(std::u16string_view text, std::size_t pos);

// A tag starts here: "<" + a-z + blank or ">", or "</" + letter.
bool IsMarkupTagAt(std::u16string_view text, std::size_t pos);

// Decimal number at the start of `args` (leading sign allowed), 0 when there is none; clamped
// to +-1000000 so that a hostile argument cannot overflow positions.
int MarkupNumberArg(std::u16string_view args);

// "<c #RRGGBB>" argument to a COLORREF; nullopt when `args` is not in the hexadecimal form.
std::optional<COLORREF> MarkupHexColorArg(std::u16string_view args);

// Replaces every "%{n}" by string resource n (at most 254 characters; missing gives nothing).
// One pass: a resource text that itself contains "%{" is not expanded again.
std::u16string ExpandResourceRefs(std::u16string_view text);
std::string ExpandResourceRefs(std::string_view text);

}  // namespace vm
