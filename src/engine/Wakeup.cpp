#include "engine/Wakeup.h"

#include <cerrno>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace mk::engine {

std::int64_t monotonicNanos()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void Wakeup::ring()
{
    m_word.store(1, std::memory_order_release);
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&m_word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void Wakeup::sleepUntil(std::int64_t deadline)
{
    // A ring that came before the sleep is not lost: the word is still 1.
    while (m_word.exchange(0, std::memory_order_acq_rel) == 0) {
        timespec abs{};
        timespec* timeout = nullptr;
        if (deadline >= 0) {
            if (monotonicNanos() >= deadline)
                return;
            abs.tv_sec = deadline / 1'000'000'000;
            abs.tv_nsec = deadline % 1'000'000'000;
            timeout = &abs;
        }
        // FUTEX_WAIT_BITSET takes an absolute time on CLOCK_MONOTONIC.
        const long r = syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&m_word),
                               FUTEX_WAIT_BITSET_PRIVATE, 0, timeout, nullptr, FUTEX_BITSET_MATCH_ANY);
        if (r != 0 && errno == ETIMEDOUT)
            return;
    }
}

} // namespace mk::engine
