#pragma once
// Sleeps the engine thread until an absolute instant on the monotonic clock,
// or until another thread rings. A futex with an absolute monotonic timeout:
// precise to the scheduler's wake-up, and a ring wakes it at once.
#include <atomic>
#include <cstdint>

namespace mk::engine {

/// The monotonic clock in nanoseconds (the one the engine schedules on).
std::int64_t monotonicNanos();

class Wakeup {
public:
    /// Any thread: wakes the sleeper (or makes its next sleep return at once).
    void ring();
    /// The engine thread: returns at `deadline` (monotonic ns; < 0: never) or
    /// when rung, whichever comes first.
    void sleepUntil(std::int64_t deadline);

private:
    std::atomic<std::uint32_t> m_word{0};
};

} // namespace mk::engine
