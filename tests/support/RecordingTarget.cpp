#include "tests/support/RecordingTarget.h"

#include <chrono>

namespace vm::test {

void RecordingTarget::SetReply(Reply reply) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_reply = std::move(reply);
}

void RecordingTarget::SetClosed(bool closed) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_closed = closed;
}

std::intptr_t RecordingTarget::Send(std::uint32_t msg, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    Message m{msg, wParam, lParam, {}};
    Reply reply;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        if (m_closed) return 0;
        m_entries.push_back({Entry::Kind::Send, m});
        reply = m_reply;
    }
    m_changed.notify_all();
    // Answered outside the lock: a reply may look at the target itself.
    return reply ? reply(m) : 0;
}

bool RecordingTarget::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                           Payload payload) {
    {
        std::lock_guard<std::mutex> g(m_mutex);
        if (m_closed) return false;
        m_entries.push_back({Entry::Kind::Post, Message{msg, wParam, lParam, std::move(payload)}});
    }
    m_changed.notify_all();
    return true;
}

std::vector<RecordingTarget::Entry> RecordingTarget::Entries() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_entries;
}

std::vector<std::uint32_t> RecordingTarget::Ids() const {
    std::vector<std::uint32_t> ids;
    for (auto& e : Entries()) ids.push_back(e.message.id);
    return ids;
}

std::vector<Message> RecordingTarget::Of(std::uint32_t msg) const {
    std::vector<Message> out;
    for (auto& e : Entries())
        if (e.message.id == msg) out.push_back(e.message);
    return out;
}

bool RecordingTarget::WaitFor(std::uint32_t msg, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (auto& e : m_entries)
            if (e.message.id == msg) return true;
        return false;
    });
}

void RecordingTarget::Clear() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_entries.clear();
}

}  // namespace vm::test
