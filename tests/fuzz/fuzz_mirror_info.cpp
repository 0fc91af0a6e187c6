// The update information as a mirror could send it: UTF-16LE bytes, then the line grammar.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "update/UpdateInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    vm::UpdateInfoMap info;
    vm::ParseInfoText(vm::DecodeInfoBytes(bytes), info);
    vm::ParseInfoText(bytes, info);
    for (const auto& [key, value] : info) {
        if (key.empty() || key.find_first_of("\r\n=") != std::string::npos) std::abort();
    }
    std::vector<std::string> names;
    std::map<std::string, std::string> folders;
    vm::RebuildPublishedSets(info, names, folders);
    if (names.size() != folders.size()) std::abort();
    // What the publisher writes back must read again.
    vm::UpdateInfoMap again;
    vm::ParseInfoText(vm::DecodeInfoBytes(vm::EncodeInfoBytes(vm::FormatInfoText(info))), again);
    return 0;
}
