#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vm {

// Runs produce(0), produce(1), ... produce(count - 1) on a thread of its own, at most
// `ahead` results before the caller, who takes them in order with Take. The destructor
// stops the thread after the item under way and waits for it.
template <class T>
class LookAhead {
  public:
    LookAhead(std::size_t count, std::size_t ahead, std::function<T(std::size_t)> produce)
        : m_count(count), m_ahead(ahead ? ahead : 1), m_produce(std::move(produce)) {
        if (m_count > 0) m_thread = std::thread([this] { Run(); });
    }
    ~LookAhead() {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    // The next result, in order; waits for it.
    T Take() {
        std::unique_lock<std::mutex> l(m_lock);
        m_changed.wait(l, [this] { return !m_ready.empty(); });
        T item = std::move(m_ready.front());
        m_ready.pop_front();
        l.unlock();
        m_changed.notify_all();
        return item;
    }

  private:
    void Run() {
        for (std::size_t i = 0; i < m_count; ++i) {
            {
                std::unique_lock<std::mutex> l(m_lock);
                m_changed.wait(l, [this] { return m_stop || m_ready.size() < m_ahead; });
                if (m_stop) return;
            }
            T item = m_produce(i);
            {
                std::lock_guard<std::mutex> g(m_lock);
                m_ready.push_back(std::move(item));
            }
            m_changed.notify_all();
        }
    }

    const std::size_t m_count;
    const std::size_t m_ahead;
    std::function<T(std::size_t)> m_produce;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<T> m_ready;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace vm
