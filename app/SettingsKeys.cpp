#include "app/SettingsKeys.h"

namespace vm::settings {

std::string SectionLine(std::string_view section) {
    std::string line = "[";
    line.append(section);
    line.append("]\r\n");
    return line;
}

std::string EntryLine(const StringKey& key, std::string_view value) {
    std::string line = key.name;
    line.push_back('=');
    line.append(value);
    line.append("\r\n");
    return line;
}

}  // namespace vm::settings
