#include "skin/StringTable.h"

#include <utility>

namespace vm {
namespace {
StringLookup& Table() {
    static StringLookup table;
    return table;
}
}  // namespace

void SetStringTable(StringLookup lookup) {
    Table() = std::move(lookup);
}

std::optional<std::string> LoadStringResource(unsigned id) {
    if (!Table()) return std::nullopt;
    return Table()(id);
}

}  // namespace vm
