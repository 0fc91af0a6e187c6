#pragma once

// The message seam as the program's workers use it: the generic target (platform) plus the
// helpers that speak the program's own messages.

#include <string>

#include "platform/MessageTarget.h"

namespace vm {

// Sends a status text (WM_VM_STATUS) the way every worker does.
void SendStatus(const TargetRef& target, const std::string& text);

}  // namespace vm
