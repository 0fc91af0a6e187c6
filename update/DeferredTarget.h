#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "app/MessageTarget.h"

namespace vm {

// Holds the posts of work done ahead of its turn (a file's download bar) so that the window
// sees them later, in order, after the messages that come before them. Sends are answered 0.
class DeferredTarget : public MessageTarget {
  public:
    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override {
        Post(msg, wParam, lParam);
        return 0;
    }
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload payload = {}) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_held.push_back(Message{msg, wParam, lParam, std::move(payload)});
        return true;
    }
    // Posts everything held to target, in the order it came.
    void Replay(const TargetRef& target) {
        std::vector<Message> held;
        {
            std::lock_guard<std::mutex> g(m_lock);
            held.swap(m_held);
        }
        for (Message& m : held) PostTo(target, m.id, m.wParam, m.lParam, std::move(m.payload));
    }

  private:
    std::mutex m_lock;
    std::vector<Message> m_held;
};

}  // namespace vm
