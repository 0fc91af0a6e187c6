#pragma once

// The unknown add-on question, the one rule for the window and the command line alike: the
// files the update list no longer carries, grouped by add-on (the first folder below the
// game's Interface folder, letter case ignored). Files of listed add-ons and of add-ons whose
// "info.ini" says this program installed them are left out; a file lying directly in
// Interface counts under "其它". [Update] DeleteMode answers before anything is grouped; when
// no group is left the answer is "isolate" without asking. No Qt; any thread.

#include <functional>
#include <map>
#include <optional>
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

enum class UnknownAddOnsDecision { Isolate, Keep };

// What an update run asks about (the two lists of WM_VM_CONFIRM_DELETE), valid while it asks.
struct UnknownAddOnsQuestion {
    const std::vector<std::string>& unknownFiles;  // full paths in the game folder
    const std::vector<std::string>& listedFiles;   // every list entry's staging path
    std::string gameFolder;                        // empty: the application's
    std::string listFolder;                        // empty: the temporary folder
};

// Shows the groups (never empty) to the player and returns the answer.
using ShowUnknownAddOns = std::function<UnknownAddOnsDecision(const std::vector<AddOnGroup>&)>;

// [Update] DeleteMode: 1 isolates and 2 keeps without asking; nullopt: ask.
std::optional<UnknownAddOnsDecision> DeleteModeDecision();
// "下次不再提示我": the answer becomes DeleteMode.
void RememberUnknownAddOnsDecision(UnknownAddOnsDecision decision);
// The groups of question's files.
std::vector<AddOnGroup> GroupUnknownAddOns(const UnknownAddOnsQuestion& question);
// The question itself, DeleteMode aside: isolate when no group is left, else show decides.
UnknownAddOnsDecision AskUnknownAddOns(const UnknownAddOnsQuestion& question,
                                       const ShowUnknownAddOns& show);
// The whole rule: DeleteMode first, then the question.
UnknownAddOnsDecision DecideUnknownAddOns(const UnknownAddOnsQuestion& question,
                                          const ShowUnknownAddOns& show);

}  // namespace vm
