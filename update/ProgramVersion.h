#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vm {

// Program versions as the update information writes them ("1.019", "1.020", "2.0.3"): whole
// numbers in decimal separated by dots, compared number by number from the left, so "1.020"
// is newer than "1.019", "1.10" newer than "1.9" and "1.019" the same as "1.19". A missing
// trailing number counts as 0 ("1.2" equals "1.2.0"). Leading zeros do not count; numbers of
// any length compare without overflow. Blanks around the text are ignored.
enum class VersionOrder { Older, Same, Newer, Unreadable };

// How announced stands to ours; Unreadable when either is not a version in the form above
// (empty, a letter, an empty number such as "1..2" or "1.", a sign, a space inside).
VersionOrder CompareVersions(std::string_view announced, std::string_view ours);

}  // namespace vm
