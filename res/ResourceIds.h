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
constexpr int IDP_LOGON_NORMAL = 227;  // 522 x 313
constexpr int IDP_LOGON_HOT = 228;
constexpr int IDP_LOGON_PUSHED = 229;
constexpr int IDP_BUTTON_FACE = 236;   // four frames: normal, hot, pushed, disabled
constexpr int IDP_MSGBOX_CLOSE = 237;  // the message box's close button, four frames
constexpr int IDP_PROGRESS = 250;
constexpr int IDP_CHECKBOX = 252;
constexpr int IDP_DIALOG_BACKGROUND = 254;
constexpr int IDP_TAB = 255;         // page-sheet tab, four frames: normal, hot, selected, disabled
constexpr int IDP_SEPARATOR = 265;
constexpr int IDP_PAGE_FRAME = 266;  // page-sheet page area, stretched with preserved edges

// Bitmaps (four-frame button sprites).
constexpr int IDB_REGISTER = 212;
constexpr int IDB_LOGOUT = 213;
constexpr int IDB_LOGIN = 218;
constexpr int IDB_UPDATE_STOP = 259;
constexpr int IDB_COPY = 262;
constexpr int IDB_UPDATE_START = 263;

// Icons.
constexpr int IDI_PROGRAM = 128;        // large
constexpr int IDI_PROGRAM_SMALL = 209;  // 16 x 16

}  // namespace vm::res
