#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "app/MessageTarget.h"

namespace vm::cli {

// The command line's stand-in for the main window: workers Send and Post to it from their
// threads; the command's own thread handles the messages one by one in HandleNext. A Send
// blocks its worker until the handler has run and returns the handler's result. After
// Close, Posts are refused and Sends answer 0 at once (a window that is gone).
class TerminalTarget : public MessageTarget {
  public:
    using Handler = std::function<std::intptr_t(const Message&)>;

    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload payload = {}) override;

    // Handles the next message with handler; false when none came within timeout.
    bool HandleNext(const Handler& handler, std::chrono::milliseconds timeout);
    void Close();

  private:
    struct Pending {
        Message message;
        bool isSend = false;
        std::intptr_t* result = nullptr;
        bool* done = nullptr;
    };
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::condition_variable m_answered;
    std::deque<Pending> m_queue;
    bool m_closed = false;
};

}  // namespace vm::cli
