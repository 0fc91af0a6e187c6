#pragma once

#include <string>

namespace vm {

// The windows the start-up sequence opens. The window program implements it with its dialogs;
// tests and the command line with stand-ins. Every call is made on the UI thread.
class IStartupUi {
  public:
    virtual ~IStartupUi() = default;
    // Shared skin images and message-box appearance.
    virtual void InitSkinDefaults() = 0;
    // A plain message box (no skin), for failures before any window exists.
    virtual void ShowPlainMessage(const std::string& text) = 0;
    // The mirror selection dialog, modal; true when it ended with OK.
    virtual bool RunMirrorDialog() = 0;
    // The splash, modal; it starts the update-information job and closes when that is done.
    virtual void RunSplash() = 0;
    // The main window, modal; returns when the program is to end.
    virtual void RunMainWindow() = 0;
};

}  // namespace vm
