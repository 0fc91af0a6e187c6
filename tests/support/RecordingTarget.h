#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "app/MessageTarget.h"

namespace vm::test {

// A MessageTarget that records every Send and Post in arrival order. Sends are answered by
// the reply callback (0 without one). Safe to use from any number of worker threads; the
// test thread reads with Messages() or waits with WaitFor().
class RecordingTarget : public MessageTarget {
  public:
    struct Entry {
        enum class Kind { Send, Post } kind;
        Message message;
    };
    using Reply = std::function<std::intptr_t(const Message&)>;

    void SetReply(Reply reply);
    // When closed, Post returns false and Send returns 0 without recording (a window that is
    // gone).
    void SetClosed(bool closed);

    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload payload = {}) override;

    std::vector<Entry> Entries() const;
    // Only the message ids, in order.
    std::vector<std::uint32_t> Ids() const;
    // Entries with this id.
    std::vector<Message> Of(std::uint32_t msg) const;
    // Waits until a message with this id has arrived (up to timeout); true when it did.
    bool WaitFor(std::uint32_t msg, int timeoutMs = 10000) const;
    void Clear();

  private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Entry> m_entries;
    Reply m_reply;
    bool m_closed = false;
};

}  // namespace vm::test
