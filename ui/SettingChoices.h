#pragma once

// What the settings dialog shows and writes: the stored choices read with the dialog's own
// defaults, and the three saving steps in their order. No Qt; UI thread (the settings file
// itself is safe from any thread).

#include <string>

namespace vm {

enum class CloseMeaning { Minimise, Exit, Ask };

struct SettingChoices {
    // Update options page.
    bool autoUpdate = true;
    bool onceEveryDay = false;
    bool autoRun = false;
    int server = 1;  // 1 telecom, 2 netcom
    // Game location page.
    bool customPath = false;
    std::string path;
    // Miscellaneous page.
    int deleteMode = 0;  // 0 ask, 1 isolate, 2 keep
    CloseMeaning closeMeaning = CloseMeaning::Minimise;
    bool confirmExit = true;

    // The stored choices. Unlike the main window, an absent CloseMeanMin reads as minimise.
    static SettingChoices Load();

    // Step 1: the update options. Without automatic update the stored OnceEveryDay stays.
    void SaveUpdateOptions() const;
    // Step 2: the game location; an invalid custom path writes nothing and returns the
    // message to show. The cached game folder and executable are resolved afresh.
    [[nodiscard]] std::string SaveGameLocation() const;
    // Step 3: the miscellaneous choices.
    void SaveMisc() const;
};

// The message for an unusable game executable path, empty when it names an existing file.
std::string GamePathProblem(const std::string& path);

}  // namespace vm
