#pragma once

#include <cstdint>

#include "skin/WinTypes.h"

namespace vm {

class CUIControl;

enum class UINotifyCode {
    Click = 0,
    DblClick = 1,
    RightClick = 2,
    SetFocus = 3,
    KillFocus = 4,
    Link = 5,
    CheckClick = 6,
    TextChanged = 7,
    SelectChanged = 10,
    WindowInit = 16,
    Timer = 17,
    Scroll = 19,
};

struct UINotify {
    UINotifyCode code = UINotifyCode::Click;
    CUIControl* sender = nullptr;
    std::uint32_t timestamp = 0;
    POINT mouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

}  // namespace vm
