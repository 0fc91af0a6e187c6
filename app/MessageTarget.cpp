#include "app/MessageTarget.h"

#include "app/messages.h"

namespace vm {

void SendStatus(const TargetRef& target, const std::string& text) {
    SendTo(target, WM_VM_STATUS, reinterpret_cast<std::uintptr_t>(&text), 0);
}

}  // namespace vm
