#pragma once

#include <map>
#include <string>

namespace vm {

// One add-on of the file list.
struct AddOnRecord {
    std::string folder;
    std::map<std::string, std::string> properties;  // AddOn attributes other than folder
    std::map<std::string, std::string> files;       // path below the folder -> checksum
};

// The add-on file list as parsed. Each update run parses into a model of its own, which
// lives as long as the run needs it; nobody else reads it.
class CFileListModel {
  public:
    void Clear();
    bool Empty() const;
    // Number of files over all groups.
    std::size_t FileCount() const;

    std::map<std::string, AddOnRecord> m_regularAddOns;   // by folder
    std::map<std::string, AddOnRecord> m_optionalAddOns;  // by folder
    std::map<std::string, std::string> m_topLevelFiles;   // path below Interface -> checksum
};

}  // namespace vm
