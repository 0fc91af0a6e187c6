#pragma once

#include <cstdint>

#include "app/MessageTarget.h"
#include "app/messages.h"

namespace vm {

// How an update run ended; WM_VM_UPDATE_END carries it as wParam.
enum class UpdateOutcome : std::uintptr_t { Succeeded = 0, Failed = 1, Cancelled = 2 };

inline bool PostUpdateEnd(const TargetRef& target, UpdateOutcome outcome) {
    return PostTo(target, WM_VM_UPDATE_END, static_cast<std::uintptr_t>(outcome));
}

}  // namespace vm
