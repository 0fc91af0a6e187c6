#include "update/ChecksumText.h"

namespace vm {

std::optional<ExpectedChecksums> ParseChecksumText(std::string_view text) {
    std::size_t pos = text.find("\r\n");
    std::size_t breakLength = 2;
    if (pos == std::string_view::npos) {
        pos = text.find('\n');
        breakLength = 1;
    }
    if (pos == std::string_view::npos) return std::nullopt;
    return ExpectedChecksums{std::string(text.substr(0, pos)),
                             std::string(text.substr(pos + breakLength))};
}

std::string FormatChecksumText(const ExpectedChecksums& sums) {
    return sums.info + "\r\n" + sums.list;
}

}  // namespace vm
