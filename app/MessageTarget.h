#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vm {

// What a posted message owns: nothing, a text, a text that may be absent (absent differs
// from empty), or a list of texts. It is freed with the message, also when the target is gone.
using Payload =
    std::variant<std::monostate, std::string, std::optional<std::string>, std::vector<std::string>>;

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    Payload payload;
};

// A window (or a test or the terminal front end) that workers report to. Windows own their
// target through a shared_ptr; workers hold a weak_ptr, so a window that is gone is simply
// not reached.
class MessageTarget {
  public:
    virtual ~MessageTarget() = default;
    // Blocks until the target's thread has handled the message; returns its result (0 when
    // the target went away before handling it).
    virtual std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Queues the message; false when the target no longer accepts messages.
    virtual bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                      Payload payload = {}) = 0;
};

using TargetRef = std::weak_ptr<MessageTarget>;

// Convenience for workers: Post/Send to a target that may be gone. Post returns false and a
// Send returns 0 when it is.
bool PostTo(const TargetRef& target, std::uint32_t msg, std::uintptr_t wParam = 0,
            std::intptr_t lParam = 0, Payload payload = {});
std::intptr_t SendTo(const TargetRef& target, std::uint32_t msg, std::uintptr_t wParam = 0,
                     std::intptr_t lParam = 0);

// Sends a status text (WM_VM_STATUS) the way every worker does.
void SendStatus(const TargetRef& target, const std::string& text);

}  // namespace vm
