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
//
// Status lines and progress whose answer nobody reads do not hold up the worker: they are
// queued with a copy of their text, in order with everything else, and the handler sees
// them exactly as sent. Such display-only messages do not wake the command's thread either;
// it picks them up within a few milliseconds.
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
        bool textCopy = false;  // wParam stands for the text in the payload
        std::intptr_t* result = nullptr;
        bool* done = nullptr;
    };
    void Queue(Pending pending, bool wake);

    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::condition_variable m_answered;
    std::deque<Pending> m_queue;
    bool m_closed = false;
};

}  // namespace vm::cli
