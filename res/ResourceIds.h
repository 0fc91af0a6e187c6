#pragma once

// Numbers of the program's pictures. PNG and bitmap pictures load through
// skin/ResourceLoader.h (ResourceType::Png, ResourceType::Bitmap), icons as ResourceType::Icon.

namespace vm::res {

// PNG pictures.
constexpr int IDP_DISABLED = 214;  // disabled faces of the main window and the logon dialog
constexpr int IDP_MAIN_PUSHED = 215;
constexpr int IDP_MAIN_HOT = 216;
constexpr int IDP_MAIN_NORMAL = 217;   // 802 x 603
constexpr int IDP_RADIO = 220;         // four states across, unchecked above checked
constexpr int IDP_SPLASH = 225;        // 569 x 395, rounded, transparent corners
constexpr int IDP_LOGON_NORMAL = 227;  // 522 x 313
constexpr int IDP_LOGON_HOT = 228;
constexpr int IDP_LOGON_PUSHED = 229;
constexpr int IDP_BUTTON_FACE = 236;   // four frames: normal, hot, pushed, disabled
constexpr int IDP_MSGBOX_CLOSE = 237;  // the message box's close button, four frames
constexpr int IDP_PROGRESS = 250;
constexpr int IDP_CHECKBOX = 252;
constexpr int IDP_DIALOG_BACKGROUND = 254;
constexpr int IDP_TAB = 255;         // page tabs: normal, hot, selected, disabled
constexpr int IDP_SEPARATOR = 265;   // the change log's separator line
constexpr int IDP_PAGE_FRAME = 266;  // the settings dialog's page frame
constexpr int IDP_SCROLLBAR = 270;   // scroll-bar grid, 4 x 6 cells of 15 x 16

// Bitmaps (four-frame button sprites).
constexpr int IDB_REGISTER = 212;
constexpr int IDB_LOGOUT = 213;
constexpr int IDB_LOGIN = 218;
constexpr int IDB_UPDATE_STOP = 259;
constexpr int IDB_COPY = 262;
constexpr int IDB_UPDATE_START = 263;

// JPEG pictures.
constexpr int IDJ_SPLASH = 225;  // the splash without its rounded corners

// Icons.
constexpr int IDI_PROGRAM = 128;        // large
constexpr int IDI_PROGRAM_SMALL = 209;  // 16 x 16

}  // namespace vm::res
