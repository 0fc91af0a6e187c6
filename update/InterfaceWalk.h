#pragma once

#include <time.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// One non-folder entry found below Interface.
struct WalkedFile {
    std::string path;        // full path as reached from the game folder
    bool regular = false;    // a regular file (or a link to one); else a pipe, a broken link...
    bool ambiguous = false;  // a name on its way differs from a neighbour's only in letter case
    bool foreign = false;    // reached through a folder link that leads out of the game folder
    bool hasTime = false;    // writeTime was read (regular files)
    timespec writeTime{};    // last-write time, read with the walk
};

// An MD5 checksum in its 32 hex digits, kept without an allocation; empty when the scan has
// none for the file (or the text given was not 32 characters long).
class WalkChecksum {
  public:
    WalkChecksum() = default;
    WalkChecksum(std::string_view hex) {  // NOLINT(google-explicit-constructor): a value type
        if (hex.size() != m_hex.size()) return;
        std::copy(hex.begin(), hex.end(), m_hex.begin());
        m_known = true;
    }
    WalkChecksum(const char* hex) : WalkChecksum(std::string_view(hex)) {}         // NOLINT
    WalkChecksum(const std::string& hex) : WalkChecksum(std::string_view(hex)) {}  // NOLINT
    bool Known() const { return m_known; }
    std::string_view View() const {
        return m_known ? std::string_view(m_hex.data(), m_hex.size()) : std::string_view();
    }

    // A text compares as the checksum it makes: one that is not 32 characters matches only an
    // unknown checksum.
    friend bool operator==(const WalkChecksum&, const WalkChecksum&) = default;

  private:
    std::array<char, 32> m_hex{};
    bool m_known = false;
};

// What one walk of Interface found, shared by the checksum scan and the comparison so that
// a run walks the tree once.
struct InterfaceWalk {
    std::string root;                     // the Interface folder walked
    std::vector<std::string> files;       // every non-folder entry, in walk order
    std::vector<WalkChecksum> checksums;  // the scan's checksum of each of files
    std::vector<std::string> foreign;     // those reached through a link out of the game folder
    std::vector<std::string> leftovers;   // install siblings a crash left behind
};

// true for the name of a sibling an install writes before renaming it over the real file
// ("x.lua.vmnew.123.0" or "x.lua.vmnew.AbC12z"): a leftover when no run is installing.
bool IsInstallLeftover(std::string_view name);

// gameFolder's "Interface" folder as the walk names it: "/game/Interface" for "/game/".
std::string InterfaceFolder(const std::string& gameFolder);

// Walks gameFolder + "Interface" recursively, each folder's entries in name order (names
// equal but for case next to each other). Folder links are followed when their target lies
// inside the game folder or is a folder the user owns, never into a folder already on the
// way down (no loops); other folder links are not walked. Install leftovers are collected in
// leftovers instead of being visited; a visitor may take the file's path. Stops (returning
// false) as soon as stop() is true.
bool WalkInterface(const std::string& gameFolder, const std::function<bool()>& stop,
                   const std::function<void(WalkedFile&)>& visit,
                   std::vector<std::string>* leftovers);

// The same walk with the add-on folders shared between the calling thread and a helper: stop
// must be safe to call from both at once. visit is called on the calling thread, in the same
// order as WalkInterface calls it, once the helper is done. started is called once the
// helper runs (or could not be made, or is not needed).
bool WalkInterfaceInTwo(const std::string& gameFolder, const std::function<bool()>& stop,
                        const std::function<void(WalkedFile&)>& visit,
                        std::vector<std::string>* leftovers,
                        const std::function<void()>& started = {});

// true when path (an existing file or folder, or one to be created) lies inside
// gameFolder once every link on its way is resolved: installing never writes through a link
// to a place outside the game folder.
bool StaysInsideGameFolder(const std::string& path, const std::string& gameFolder);

}  // namespace vm
