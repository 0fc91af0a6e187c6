#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The stand-in for posting and sending to a window: the seam between workers and whatever
// shows their results (a skinned window, a test recorder, the terminal). It knows no message
// of the program; those live with the program (app/messages.h).

namespace vm {

// The standard messages every target understands, with their Windows values.
constexpr std::uint32_t WM_CLOSE = 0x0010;
constexpr std::uint32_t WM_QUIT = 0x0012;
// The first number free for a program's own messages.
constexpr std::uint32_t WM_USER = 0x400;

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

}  // namespace vm
