#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vm {

// A manual-reset event: stays signalled until reset; waiters wake when it is set.
class ManualResetEvent {
  public:
    explicit ManualResetEvent(bool initial = false) : m_set(initial) {}
    void Set() {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_set = true;
        }
        m_cv.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> g(m_mutex);
        m_set = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_set;
    }
    void Wait() {
        std::unique_lock<std::mutex> l(m_mutex);
        m_cv.wait(l, [this] { return m_set; });
    }
    // true when set within the time.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> l(m_mutex);
        return m_cv.wait_for(l, timeout, [this] { return m_set; });
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
};

}  // namespace vm
