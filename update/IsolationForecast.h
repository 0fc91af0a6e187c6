#pragma once

// Whether the next update run would move a restored add-on aside again, by the engine's own
// rules: the files the last list does not carry, grouped as the unknown add-ons question
// groups them, answered by [Update] DeleteMode, and an add-on this program installed and the
// list has dropped always goes. The one place that asks those rules for the undo of an
// isolation (window and command line). No Qt; any thread.

#include <string>
#include <vector>

namespace vm {

enum class NextRun {
    Unknown,   // no list of an earlier run to judge by
    Stays,     // the list carries every file, or DeleteMode keeps it
    Asks,      // the player will be asked again
    Isolates,  // it will be moved aside again without a question
};

struct IsolationForecast {
    NextRun next = NextRun::Unknown;
    std::string reason;  // for the player, naming DeleteMode; empty for Stays and Unknown
};

// The paths ("Interface/...") of the list the last update run used: the newest "filelist.xml"
// kept in the temporary folder. Empty when there is none.
std::vector<std::string> LastListPaths();

// For the entry name lying in gameFolder's Interface (just restored), against listPaths.
IsolationForecast ForecastIsolation(const std::string& gameFolder, const std::string& name,
                                    const std::vector<std::string>& listPaths);

// The mark a list shows for a forecast: empty unless the run asks or isolates.
std::string ForecastMark(const IsolationForecast& forecast);

}  // namespace vm
