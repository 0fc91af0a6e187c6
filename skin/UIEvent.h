#pragma once

#include <cstdint>

#include "skin/WinTypes.h"

namespace vm {

class CUIControl;

enum class UIEventType {
    MouseMove = 1,
    MouseLeave = 2,
    MouseEnter = 3,
    MouseHover = 4,
    KeyDown = 5,
    KeyUp = 6,
    Char = 7,
    SysKey = 8,
    KillFocus = 9,
    SetFocus = 10,
    ButtonDown = 11,
    ButtonUp = 12,
    DblClick = 13,
    ContextMenu = 14,
    VScroll = 15,
    ScrollWheel = 17,
    WindowSize = 18,
    SetCursor = 19,
    Timer = 22,
};

// What the manager hands to CUIControl::Event.
struct UIEvent {
    UIEventType type = UIEventType::MouseMove;
    CUIControl* sender = nullptr;  // or the other control of an enter/leave/focus change
    std::uint32_t timestamp = 0;
    POINT mouse;  // last mouse position the manager saw
    char16_t key = 0;
    std::uint16_t keyState = 0;  // 1 right, 2 left button, 4 Shift, 8 Ctrl, 0x20 Alt
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

}  // namespace vm
