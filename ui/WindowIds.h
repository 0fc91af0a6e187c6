#pragma once

// Command ids, window messages and timers of the main window and its tray icon. The numbers
// are the Windows ones, so menus, posts and tests read the same as everywhere else.

#include "skin/WinMessages.h"

namespace vm {

// Standard messages the skin library does not name.
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_KICKIDLE = 0x036A;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;

// Main-window messages without a worker behind them.
constexpr UINT WM_VM_COMBAT_LOG_OFFER = 0x400 + 170;
constexpr UINT WM_VM_OFFER_SHORTCUT = 0x400 + 400;
constexpr UINT WM_VM_HIDE_TO_TRAY = 0x400 + 601;
constexpr UINT WM_VM_EXIT_CONFIRMED = 0x400 + 602;

// Commands (menu 182, menu 166 and the dialog's own).
enum Command : int {
    ID_OK = 1,
    ID_CANCEL = 2,
    ID_GAME_DATA_UPLOAD = 0x20,
    ID_UPDATE_BUTTON = 1048,
    ID_PARTICLE_ON = 1162,
    ID_PARTICLE_OFF = 1163,
    ID_HOME_PAGE = 32782,
    ID_DATABASE = 32783,
    ID_REPORT_BUG = 32784,
    ID_EXIT = 32786,
    ID_RUN_GAME = 32787,
    ID_TOGGLE_WINDOW = 32788,
    ID_LOGON = 32798,
    ID_DOWNLOAD_CONFIG = 32799,
    ID_UPLOAD_CONFIG = 32800,
    ID_IMPORT = 32801,
    ID_EXPORT = 32802,
    ID_EXIT_MENU = 32803,
    ID_SELECT_ADDONS = 32805,
    ID_UPDATE_ADDONS = 32806,
    ID_SETTINGS = 32807,
    ID_REPORT_BUG_MENU = 32813,
    ID_ABOUT = 32814,
    ID_DATABASE_MENU = 32815,
    ID_HOME_PAGE_MENU = 32816,
    ID_NOTHING = 32817,
    ID_WIZARD = 32819,
    ID_LOGOUT = 32828,
    ID_CHANGE_LOG_MENU = 32830,
    ID_ACCELERATOR = 32831,
};

// Timers.
constexpr std::uintptr_t kCommitGateTimer = 1003;
constexpr std::uintptr_t kStatisticTimer = 1004;
constexpr std::uintptr_t kRunGameTimer = 3022;

}  // namespace vm
