#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace vm {

// Runs produce(0), produce(1), ... produce(count - 1) on `workers` threads of its own, each
// item once, no item started more than `ahead` places past the one the caller takes next.
// Items may finish in any order; the caller takes them in order with Take. The destructor
// lets the items under way finish, starts no more and waits for the threads.
template <class T>
class LookAhead {
  public:
    LookAhead(std::size_t count, std::size_t ahead, std::size_t workers,
              std::function<T(std::size_t)> produce)
        : m_count(count), m_ahead(ahead ? ahead : 1), m_produce(std::move(produce)) {
        if (workers == 0) workers = 1;
        if (workers > m_count) workers = m_count;
        for (std::size_t w = 0; w < workers; ++w) m_threads.emplace_back([this] { Run(); });
    }
    LookAhead(std::size_t count, std::size_t ahead, std::function<T(std::size_t)> produce)
        : LookAhead(count, ahead, 1, std::move(produce)) {}
    ~LookAhead() {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& t : m_threads) t.join();
    }
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    // The next result, in order; waits for it.
    T Take() {
        std::unique_lock<std::mutex> l(m_lock);
        m_changed.wait(l, [this] { return m_ready.count(m_taken) != 0; });
        auto it = m_ready.find(m_taken);
        T item = std::move(it->second);
        m_ready.erase(it);
        ++m_taken;
        l.unlock();
        m_changed.notify_all();
        return item;
    }

  private:
    void Run() {
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock<std::mutex> l(m_lock);
                m_changed.wait(l, [this] {
                    return m_stop || m_next >= m_count || m_next < m_taken + m_ahead;
                });
                if (m_stop || m_next >= m_count) return;
                i = m_next++;
            }
            T item = m_produce(i);
            {
                std::lock_guard<std::mutex> g(m_lock);
                m_ready.emplace(i, std::move(item));
            }
            m_changed.notify_all();
        }
    }

    const std::size_t m_count;
    const std::size_t m_ahead;
    std::function<T(std::size_t)> m_produce;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::map<std::size_t, T> m_ready;  // finished, by index
    std::size_t m_next = 0;            // the next index a worker starts
    std::size_t m_taken = 0;           // the index the caller takes next
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace vm
