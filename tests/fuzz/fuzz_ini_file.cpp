#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/IniFile.h"

// The reader and the in-place rewrite must accept any bytes; a rewrite must read back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view content(reinterpret_cast<const char*>(data), size);
    (void)platform::IniFile::Lookup(content, "Update", "Server");
    (void)platform::IniFile::ParseInt(content, 7);
    (void)platform::IniFile::DecodeBinary(content);
    std::string updated = platform::IniFile::Update(content, "Update", "Version", std::string("x"));
    auto back = platform::IniFile::Lookup(updated, "Update", "Version");
    if (!back || *back != "x") __builtin_trap();
    std::string removed = platform::IniFile::Update(updated, "Update", "Version", std::nullopt);
    if (platform::IniFile::Lookup(removed, "Update", "Version")) __builtin_trap();
    return 0;
}
