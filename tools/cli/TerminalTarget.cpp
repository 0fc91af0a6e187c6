#include "tools/cli/TerminalTarget.h"

#include <string>

#include "app/messages.h"

namespace vm::cli {

namespace {

// How long a display-only message may wait for the command's thread.
constexpr auto kDisplayLatency = std::chrono::milliseconds(5);

bool IsDisplayOnly(std::uint32_t msg) {
    return msg == WM_VM_STATUS || msg == WM_VM_TOTAL_PROGRESS || msg == WM_VM_FILE_PROGRESS;
}

}  // namespace

void TerminalTarget::Queue(Pending pending, bool wake) {
    m_queue.push_back(std::move(pending));
    if (wake) m_arrived.notify_all();
}

std::intptr_t TerminalTarget::Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    std::unique_lock<std::mutex> l(m_lock);
    if (m_closed) return 0;
    if (IsDisplayOnly(msg)) {
        // The worker's text lives only during the Send: the queue keeps a copy.
        Pending pending{Message{msg, wParam, lParam, {}}, false, false, nullptr, nullptr};
        if (msg == WM_VM_STATUS && wParam != 0) {
            pending.message.payload = *reinterpret_cast<const std::string*>(wParam);
            pending.textCopy = true;
        }
        Queue(std::move(pending), false);
        return 0;
    }
    std::intptr_t result = 0;
    bool done = false;
    Queue({Message{msg, wParam, lParam, {}}, true, false, &result, &done}, true);
    m_answered.wait(l, [&] { return done; });
    return result;
}

bool TerminalTarget::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                          Payload payload) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_closed) return false;
    Queue({Message{msg, wParam, lParam, std::move(payload)}, false, false, nullptr, nullptr},
          !IsDisplayOnly(msg));
    return true;
}

bool TerminalTarget::HandleNext(const Handler& handler, std::chrono::milliseconds timeout) {
    Pending next;
    {
        std::unique_lock<std::mutex> l(m_lock);
        // Display-only messages arrive without a wake-up: look again every few milliseconds.
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_queue.empty()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return false;
            const auto step =
                std::min<std::chrono::steady_clock::duration>(deadline - now, kDisplayLatency);
            m_arrived.wait_for(l, step);
        }
        next = std::move(m_queue.front());
        m_queue.pop_front();
    }
    if (next.textCopy)
        next.message.wParam =
            reinterpret_cast<std::uintptr_t>(&std::get<std::string>(next.message.payload));
    const std::intptr_t result = handler(next.message);
    if (next.isSend) {
        std::lock_guard<std::mutex> g(m_lock);
        *next.result = result;
        *next.done = true;
        m_answered.notify_all();
    }
    return true;
}

void TerminalTarget::Close() {
    std::lock_guard<std::mutex> g(m_lock);
    m_closed = true;
    for (Pending& p : m_queue) {
        if (p.isSend) *p.done = true;
    }
    m_queue.clear();
    m_answered.notify_all();
}

}  // namespace vm::cli
