#pragma once

#include <vector>

#include "update/tagFILEINFO.h"

namespace vm {

class CFileListModel;

// One entry per file of the model: top-level files, then every regular add-on's files, then
// every optional add-on's, each in key order. Entries whose paths exceed 260 UTF-16 units or
// whose checksum exceeds 255 bytes are left out. Not locked: the caller owns model.
std::vector<tagFILEINFO> BuildFileEntries(const CFileListModel& model);

}  // namespace vm
