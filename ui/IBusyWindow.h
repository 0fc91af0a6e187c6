#pragma once

#include <memory>
#include <string>

#include "skin/WinMessages.h"

namespace vm {

// The modeless "please wait" window the main window shows while the settings travel.
class IBusyWindow {
  public:
    virtual ~IBusyWindow() = default;
    // Sets the text, centres the window over its owner and shows it.
    virtual void Show(const std::string& text) = 0;
    virtual void Hide() = 0;
    virtual bool IsVisible() const = 0;
};

// The busy window over owner (created hidden).
std::unique_ptr<IBusyWindow> MakeBusyWindow(HWND owner);

}  // namespace vm
