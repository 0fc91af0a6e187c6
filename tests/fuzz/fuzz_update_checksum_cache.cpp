// The checksum cache reader on arbitrary bytes: it must never fail, and what it keeps must
// survive being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "update/ChecksumCache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vm::ChecksumCache cache = vm::ChecksumCache::Parse(text);
    const std::string written = cache.Serialize();
    const vm::ChecksumCache again = vm::ChecksumCache::Parse(written);
    if (again.Size() != cache.Size() || again.Serialize() != written) __builtin_trap();
    return 0;
}
