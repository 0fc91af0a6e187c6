// An add-on's "info.ini" (code page 936) and a server's Content-Range answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Utf8.h"
#include "update/AddOnInfo.h"
#include "update/Download.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = vm::GbkToUtf8(bytes);
    if (!vm::IsValidUtf8(text)) std::abort();
    for (const auto& [key, value] : vm::ParseAddOnInfo(text)) {
        if (key.empty() || key.rfind("lua", 0) == 0) std::abort();
        if (key.find_first_of("\r\n") != std::string::npos) std::abort();
        if (!vm::IsValidUtf8(value)) std::abort();
    }
    if (vm::ContentRangeStart(bytes) < -1) std::abort();
    return 0;
}
