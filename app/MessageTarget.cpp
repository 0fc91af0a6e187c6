#include "app/MessageTarget.h"

#include "app/messages.h"

namespace vm {

bool PostTo(const TargetRef& target, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
            Payload payload) {
    auto t = target.lock();
    return t && t->Post(msg, wParam, lParam, std::move(payload));
}

std::intptr_t SendTo(const TargetRef& target, std::uint32_t msg, std::uintptr_t wParam,
                     std::intptr_t lParam) {
    auto t = target.lock();
    return t ? t->Send(msg, wParam, lParam) : 0;
}

void SendStatus(const TargetRef& target, const std::string& text) {
    SendTo(target, WM_VM_STATUS, reinterpret_cast<std::uintptr_t>(&text), 0);
}

}  // namespace vm
