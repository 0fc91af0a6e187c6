#pragma once

#include <string_view>

namespace vm {

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool IsValidUtf8(std::string_view s);

}  // namespace vm
