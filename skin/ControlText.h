#pragma once

// Text helpers shared by the labels, buttons and the progress bar.

#include <string_view>

#include "platform/Text.h"
#include "skin/MarkupLayout.h"

namespace vm {

// The character after the first "&" of a control's text (0 when there is none).
inline char16_t ShortcutOf(std::string_view text) {
    const std::size_t amp = text.find('&');
    if (amp == std::string_view::npos || amp + 1 >= text.size()) return 0;
    const std::u16string rest = platform::Utf8ToUtf16(text.substr(amp + 1, 4));
    return rest.empty() ? char16_t{0} : rest.front();
}

// The "align" attribute: a value containing "center" adds centring, "right" right alignment.
inline UINT WithAlignAttribute(UINT style, std::string_view value) {
    if (value.find("center") != std::string_view::npos) style |= DT_CENTER;
    if (value.find("right") != std::string_view::npos) style |= DT_RIGHT;
    return style;
}

}  // namespace vm
