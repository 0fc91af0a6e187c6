#include "tools/cli/TerminalTarget.h"

namespace vm::cli {

std::intptr_t TerminalTarget::Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    std::unique_lock<std::mutex> l(m_lock);
    if (m_closed) return 0;
    std::intptr_t result = 0;
    bool done = false;
    m_queue.push_back({Message{msg, wParam, lParam, {}}, true, &result, &done});
    m_arrived.notify_all();
    m_answered.wait(l, [&] { return done; });
    return result;
}

bool TerminalTarget::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                          Payload payload) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_closed) return false;
    m_queue.push_back({Message{msg, wParam, lParam, std::move(payload)}, false, nullptr, nullptr});
    m_arrived.notify_all();
    return true;
}

bool TerminalTarget::HandleNext(const Handler& handler, std::chrono::milliseconds timeout) {
    Pending next;
    {
        std::unique_lock<std::mutex> l(m_lock);
        if (!m_arrived.wait_for(l, timeout, [&] { return !m_queue.empty(); })) return false;
        next = std::move(m_queue.front());
        m_queue.pop_front();
    }
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
