#pragma once

// The program's string resources, looked up by number. The resource folder registers its
// table at start-up; until then every number reads as missing. UI thread only.

#include <functional>
#include <optional>
#include <string>

namespace vm {

using StringLookup = std::function<std::optional<std::string>(unsigned id)>;

void SetStringTable(StringLookup lookup);
// The text of resource `id` (UTF-8), or nullopt when the table has no such entry.
std::optional<std::string> LoadStringResource(unsigned id);

}  // namespace vm
