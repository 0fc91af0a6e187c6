// "checksum.txt" from a mirror.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/ChecksumText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto sums = vm::ParseChecksumText(text);
    if (!sums) {
        if (text.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    // Nothing is lost or trimmed: the two parts and one line break make up the text.
    const std::size_t breakLength = text.size() - sums->info.size() - sums->list.size();
    if (breakLength != 1 && breakLength != 2) std::abort();
    if (text.compare(0, sums->info.size(), sums->info) != 0) std::abort();
    if (text.compare(text.size() - sums->list.size(), sums->list.size(), sums->list) != 0)
        std::abort();
    return 0;
}
