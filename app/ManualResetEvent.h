#pragma once

#include <atomic>
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
    // Waits until the event is set or stop is non-zero; true when set. Whoever sets stop
    // calls Wake afterwards, so the wait ends at once without any polling.
    bool WaitUnless(const std::atomic<int>& stop) {
        std::unique_lock<std::mutex> l(m_mutex);
        m_cv.wait(l, [&] { return m_set || stop.load() != 0; });
        return m_set;
    }
    // Wakes the waiters to look at their stop flag again; the event stays as it is. Taking
    // the lock first means a waiter between its check and its sleep cannot miss this.
    void Wake() {
        { std::lock_guard<std::mutex> g(m_mutex); }
        m_cv.notify_all();
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
};

}  // namespace vm
