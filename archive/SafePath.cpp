#include "archive/SafePath.h"

#include <cctype>

namespace vm {

std::optional<std::string> SafeRelativePath(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return std::nullopt;
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    std::string out;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        if (part == "..") return std::nullopt;
        // A drive letter, also after dropped "." parts ("./C:x").
        if (part.size() >= 2 && part[1] == ':' && std::isalpha(static_cast<unsigned char>(part[0])))
            return std::nullopt;
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out.append(part);
        }
        start = end + 1;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

bool EndsWithSeparator(std::string_view path) {
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

}  // namespace vm
