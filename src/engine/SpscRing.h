#pragma once
// A fixed ring of values from one thread to one other, without locks or
// allocation after construction: the interface posts to the engine through
// one, the engine reports back through another.
#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

namespace mk::engine {

template <typename T, std::size_t N>
class SpscRing {
    static_assert((N & (N - 1)) == 0, "N must be a power of two");

public:
    /// Producer side. False when the ring is full (the value is dropped).
    bool push(const T& v)
    {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) == N)
            return false;
        m_slots[head & (N - 1)] = v;
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    /// Consumer side.
    std::optional<T> pop()
    {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return std::nullopt;
        T v = m_slots[tail & (N - 1)];
        m_tail.store(tail + 1, std::memory_order_release);
        return v;
    }

private:
    std::array<T, N> m_slots{};
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};

} // namespace mk::engine
