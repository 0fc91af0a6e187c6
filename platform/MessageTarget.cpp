#include "platform/MessageTarget.h"

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

}  // namespace vm
