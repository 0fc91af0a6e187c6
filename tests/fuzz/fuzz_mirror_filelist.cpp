// "filelist.xml" from a mirror: whatever it says, every entry stays below Interface.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "archive/SafePath.h"
#include "update/CFileListModel.h"
#include "update/FileEntries.h"
#include "update/FileListParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vm::CFileListModel model;
    const std::string_view doc(reinterpret_cast<const char*>(data), size);
    vm::ParseFileListInto(doc, model, vm::ModelFill::Replace);
    for (const vm::tagFILEINFO& e : vm::BuildFileEntries(model)) {
        if (e.localPath.rfind("Interface/", 0) != 0) std::abort();
        auto safe = vm::SafeRelativePath(e.localPath);
        if (!safe || *safe != e.localPath) std::abort();
    }
    return 0;
}
