#pragma once

#include "skin/WinTypes.h"

namespace vm {

class CSysTrayIcon;

// The tray icons' callback receiver: turns the callback message (WM_USER+1, wParam the icon
// id, lParam the mouse message) into the icon object's virtual operations. The shell calls it
// on the UI thread; it keeps a pointer back to its owner.
class CSysTrayWnd {
  public:
    static constexpr UINT kCallbackMessage = 0x400 + 1;
    static constexpr UINT kBalloonClicked = 0x400 + 5;

    explicit CSysTrayWnd(CSysTrayIcon& owner) : m_owner(owner) {}

    // Always 0.
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    CSysTrayIcon& m_owner;
};

}  // namespace vm
