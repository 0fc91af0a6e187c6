#pragma once

// Fixed texts of the main window shared with the about box and the tests.

namespace vm {

inline constexpr char kVersionText[] = "1.019";
inline constexpr char kRightsNotice[] = "© Velmora 工作室";
inline constexpr char kEmbedPagePath[] = "/tvrn/html/velmora.html";
inline constexpr char kWindowTitle[] = "TovrinVelmora";
inline constexpr char kHiddenBalloon[] = "TovrinVelmora已经隐藏，单击图标打开窗口。";

}  // namespace vm
