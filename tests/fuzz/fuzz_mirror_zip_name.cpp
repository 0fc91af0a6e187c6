// ZIP entry names (and the archive reader around them).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "archive/SafePath.h"
#include "archive/ZipArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    if (auto safe = vm::SafeRelativePath(name)) {
        if (safe->empty() || safe->front() == '/' || safe->find('\\') != std::string::npos)
            std::abort();
        std::size_t start = 0;
        while (start <= safe->size()) {
            std::size_t end = safe->find('/', start);
            if (end == std::string::npos) end = safe->size();
            const std::string_view part(safe->data() + start, end - start);
            if (part.empty() || part == "." || part == "..") std::abort();
            if (part.size() >= 2 && part[1] == ':' &&
                std::isalpha(static_cast<unsigned char>(part[0])))
                std::abort();
            start = end + 1;
        }
        if (vm::SafeRelativePath(*safe) != safe) std::abort();
    }
    // The same bytes as an archive held in memory.
    if (auto names = vm::ListZipEntries(name)) {
        for (const std::string& entry : *names)
            (void)vm::ReadZipEntry(name, entry, {1 << 20, 1 << 20});
    }
    return 0;
}
