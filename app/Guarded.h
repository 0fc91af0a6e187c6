#pragma once

#include <mutex>
#include <utility>

namespace vm {

// A value shared between the UI thread and workers: read as a copy, replaced whole.
template <class T>
class Guarded {
  public:
    Guarded() = default;
    explicit Guarded(T v) : m_value(std::move(v)) {}
    T Get() const {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_value;
    }
    void Set(T v) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_value = std::move(v);
    }
    template <class F>
    auto With(F&& f) {
        std::lock_guard<std::mutex> g(m_mutex);
        return f(m_value);
    }

  private:
    mutable std::mutex m_mutex;
    T m_value{};
};

}  // namespace vm
