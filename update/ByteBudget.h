#pragma once

#include <cstdint>
#include <mutex>
#include <utility>

namespace vm {

// One total for the bytes several holders keep in memory at once (the archives the update
// run fetches ahead). A holder takes bytes as they arrive and is refused, never kept waiting,
// when they do not fit; it then keeps them elsewhere (on disk). Thread-safe.
class ByteBudget {
  public:
    explicit ByteBudget(std::uint64_t cap) : m_cap(cap) {}
    ByteBudget(const ByteBudget&) = delete;
    ByteBudget& operator=(const ByteBudget&) = delete;

    // Takes n bytes; false, and nothing taken, when they would pass the cap.
    [[nodiscard]] bool TryTake(std::uint64_t n) {
        std::lock_guard<std::mutex> g(m_lock);
        if (n > m_cap - m_inUse) return false;
        m_inUse += n;
        if (m_inUse > m_peak) m_peak = m_inUse;
        return true;
    }
    void Give(std::uint64_t n) {
        std::lock_guard<std::mutex> g(m_lock);
        m_inUse -= n < m_inUse ? n : m_inUse;
    }
    std::uint64_t Cap() const { return m_cap; }
    std::uint64_t InUse() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_inUse;
    }
    // The most that was ever taken at once.
    std::uint64_t Peak() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_peak;
    }

  private:
    const std::uint64_t m_cap;
    mutable std::mutex m_lock;
    std::uint64_t m_inUse = 0;
    std::uint64_t m_peak = 0;
};

// The bytes one holder took from a budget; given back when it is cleared or goes. Move-only.
class BudgetShare {
  public:
    BudgetShare() = default;
    explicit BudgetShare(ByteBudget* budget) : m_budget(budget) {}
    BudgetShare(BudgetShare&& o) noexcept
        : m_budget(std::exchange(o.m_budget, nullptr)), m_bytes(std::exchange(o.m_bytes, 0)) {}
    BudgetShare& operator=(BudgetShare&& o) noexcept {
        if (this != &o) {
            Clear();
            m_budget = std::exchange(o.m_budget, nullptr);
            m_bytes = std::exchange(o.m_bytes, 0);
        }
        return *this;
    }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;
    ~BudgetShare() { Clear(); }

    // Takes n more bytes; without a budget there is no limit.
    [[nodiscard]] bool Grow(std::uint64_t n) {
        if (m_budget && !m_budget->TryTake(n)) return false;
        m_bytes += n;
        return true;
    }
    void Clear() {
        if (m_budget && m_bytes) m_budget->Give(m_bytes);
        m_bytes = 0;
    }
    std::uint64_t Bytes() const { return m_bytes; }

  private:
    ByteBudget* m_budget = nullptr;
    std::uint64_t m_bytes = 0;
};

}  // namespace vm
