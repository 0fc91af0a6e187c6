#pragma once

// How the unknown add-on question groups the files the update list no longer carries: by
// add-on, the first folder below the game's Interface folder (letter case ignored). Files of
// listed add-ons and of add-ons whose "info.ini" says this program installed them are left
// out; a file lying directly in Interface counts under "其它". No Qt; any thread.

#include <map>
#include <string>
#include <vector>

namespace vm {

inline constexpr char kOtherGroup[] = "其它";

struct AddOnGroup {
    std::string name;  // the add-on folder's name as the first counted path spells it
    int files = 0;
};

class UnknownAddOns {
  public:
    // gameFolder: where unknownFiles lie; listFolder: where listedFiles lie (the temporary
    // folder the update run stages the list's files in).
    UnknownAddOns(std::string gameFolder, std::string listFolder)
        : m_gameFolder(std::move(gameFolder)), m_listFolder(std::move(listFolder)) {}

    // The groups to show, in ordinal order of their names; empty when nothing is left to ask
    // about.
    std::vector<AddOnGroup> Group(const std::vector<std::string>& unknownFiles,
                                  const std::vector<std::string>& listedFiles);

  private:
    // Whether the add-on in folder names this program in its "info.ini" (read once).
    bool IsOurs(const std::string& folder);

    std::string m_gameFolder;
    std::string m_listFolder;
    std::map<std::string, bool> m_infoCache;
};

}  // namespace vm
