#pragma once

#include "skin/WinMessages.h"

namespace vm {

// The object behind a NativeWindow: CWindowWnd, the skinned dialog, the message box. Called on
// the UI thread only.
class IWindowHandler {
  public:
    virtual ~IWindowHandler() = default;
    // Every message of the window; unhandled ones should go to NativeWindow::DefWindowProc.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // Key messages before dispatch (also those of the window's Qt children); true eats them.
    // The default offers them to the process-wide translation.
    virtual bool PreTranslateMessage(const MSG& msg);
    // After WM_NCDESTROY: the window no longer calls this handler (which may delete itself).
    virtual void FinalMessage(HWND hwnd) {}
};

}  // namespace vm
