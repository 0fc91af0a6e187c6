#pragma once

// The one table of window messages between workers and windows. Numbers are WM_USER-based as
// on Windows so logs and tests read the same. Arguments (see MessageTarget for ownership):
//   Send: a pointer argument points at the sender's object and is valid only during the send.
//   Post: texts and lists travel in the message's Payload, never as raw pointers.

#include <cstdint>

#include "platform/MessageTarget.h"

namespace vm {

// wParam: const std::string* (UTF-8 status text).
constexpr std::uint32_t WM_VM_STATUS = WM_USER + 100;
constexpr std::uint32_t WM_VM_UPDATE_END = WM_USER + 101;
// wParam: files done (or percent), lParam: file count (or 100); (0, 0) resets.
constexpr std::uint32_t WM_VM_TOTAL_PROGRESS = WM_USER + 102;
// wParam: percent of the current file, lParam: 100; (0, 0) resets.
constexpr std::uint32_t WM_VM_FILE_PROGRESS = WM_USER + 103;
constexpr std::uint32_t WM_VM_FILES_CHANGED = WM_USER + 104;
constexpr std::uint32_t WM_VM_REALMS_READY = WM_USER + 107;
// wParam: const GameServerRecord* with the latency filled in.
constexpr std::uint32_t WM_VM_PING_RESULT = WM_USER + 111;
// wParam: mirror index 0 or 1, lParam: connect time in ms or -1.
constexpr std::uint32_t WM_VM_MIRROR_LATENCY = WM_USER + 112;
// wParam: const std::vector<std::string>* removal candidates (full paths),
// lParam: const std::vector<std::string>* temporary paths of all list entries.
// Non-zero result: move the obsolete files aside.
constexpr std::uint32_t WM_VM_CONFIRM_DELETE = WM_USER + 113;
constexpr std::uint32_t WM_VM_GAME_ENDED = WM_USER + 120;
constexpr std::uint32_t WM_VM_ACTIVATE = WM_USER + 130;
// wParam: step 0..99, lParam: 99.
constexpr std::uint32_t WM_VM_LOG_PROGRESS = WM_USER + 171;
constexpr std::uint32_t WM_VM_LOG_STOPPED = WM_USER + 172;
constexpr std::uint32_t WM_VM_LOG_FINISHED = WM_USER + 173;
// Payload: std::string status text.
constexpr std::uint32_t WM_VM_LOG_STATUS = WM_USER + 174;
// Payload: std::string reason.
constexpr std::uint32_t WM_VM_CONFIG_UPLOAD_FAILED = WM_USER + 200;
constexpr std::uint32_t WM_VM_CONFIG_UPLOAD_DONE = WM_USER + 201;
// Payload: std::optional<std::string> reason; nullopt when the restore step failed.
constexpr std::uint32_t WM_VM_CONFIG_DOWNLOAD_FAILED = WM_USER + 202;
constexpr std::uint32_t WM_VM_CONFIG_DOWNLOAD_DONE = WM_USER + 203;
constexpr std::uint32_t WM_VM_INFO_FAILED = WM_USER + 300;
constexpr std::uint32_t WM_VM_ACCOUNT_CHANGED = WM_USER + 301;
constexpr std::uint32_t WM_VM_SELF_UPDATE_EXIT = WM_USER + 302;
// wParam: the user's number; Payload: std::string path of the picture file.
constexpr std::uint32_t WM_VM_AVATAR_READY = WM_USER + 500 + 100;

static_assert(WM_VM_STATUS == 0x464 && WM_VM_CONFIRM_DELETE == 0x471 && WM_VM_ACTIVATE == 0x482 &&
              WM_VM_LOG_STATUS == 0x4AE && WM_VM_CONFIG_DOWNLOAD_DONE == 0x4CB &&
              WM_VM_SELF_UPDATE_EXIT == 0x52E && WM_VM_AVATAR_READY == 0x658);

}  // namespace vm
