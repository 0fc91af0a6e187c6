#include "archive/SafePath.h"

#include <cctype>

namespace vm {

namespace {

// Calls part(p) for every part worth keeping; false for a name that is not safe.
template <class Part>
bool ForEachPart(std::string_view name, Part&& part) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    if (name.find('\0') != std::string_view::npos) return false;
    bool any = false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view p = name.substr(start, end - start);
        if (p == "..") return false;
        // A drive letter, also after dropped "." parts ("./C:x").
        if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0])))
            return false;
        if (!p.empty() && p != ".") {
            part(p);
            any = true;
        }
        start = end + 1;
    }
    return any;
}

}  // namespace

std::optional<std::string> SafeRelativePath(std::string_view name) {
    std::string out;
    if (!AppendSafeRelativePath(name, out)) return std::nullopt;
    return out;
}

bool AppendSafeRelativePath(std::string_view name, std::string& out) {
    const std::size_t start = out.size();
    const bool safe = ForEachPart(name, [&](std::string_view part) {
        if (out.size() != start) out += '/';
        out.append(part);
    });
    if (!safe) out.resize(start);
    return safe;
}

bool IsSafeRelativePath(std::string_view name) {
    return ForEachPart(name, [](std::string_view) {});
}

bool EndsWithSeparator(std::string_view path) {
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

}  // namespace vm
