#include "update/ProgramVersion.h"

#include <algorithm>
#include <vector>

namespace vm {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The numbers of a version without their leading zeros ("" is zero); nullopt when the text is
// not a version.
std::optional<std::vector<std::string_view>> Numbers(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) return std::nullopt;
    std::vector<std::string_view> numbers;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        std::string_view part =
            text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (part.empty()) return std::nullopt;
        for (const char c : part)
            if (c < '0' || c > '9') return std::nullopt;
        while (!part.empty() && part.front() == '0') part.remove_prefix(1);
        numbers.push_back(part);
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return numbers;
}

// Two digit strings without leading zeros: the longer is the larger, else the first digit
// that differs decides.
int CompareNumbers(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

VersionOrder CompareVersions(std::string_view announced, std::string_view ours) {
    const auto a = Numbers(announced);
    const auto b = Numbers(ours);
    if (!a || !b) return VersionOrder::Unreadable;
    const std::size_t n = std::max(a->size(), b->size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view x = i < a->size() ? (*a)[i] : std::string_view();
        const std::string_view y = i < b->size() ? (*b)[i] : std::string_view();
        if (const int c = CompareNumbers(x, y); c != 0)
            return c > 0 ? VersionOrder::Newer : VersionOrder::Older;
    }
    return VersionOrder::Same;
}

}  // namespace vm
