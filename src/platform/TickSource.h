#pragma once
// The millisecond clock that the frame clock, the loop countdown, the
// playback clock and the wait before play all read alike.
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <optional>

namespace mk {

class TickSource {
public:
    virtual ~TickSource() = default;
    /// Milliseconds on a monotonic clock. 64 bits: no wrap-around during a show.
    virtual qint64 now() = 0;
    /// Blocks the calling thread until now() >= t. Nothing else runs meanwhile.
    virtual void waitUntil(qint64 t) = 0;
    /// How long, in real time, until now() reaches t (zero once it has); nothing
    /// for a clock that does not move by itself. Lets a timer with whole-ms
    /// intervals wake at the instant the count rolls over rather than up to a
    /// millisecond after it.
    virtual std::optional<std::chrono::nanoseconds> realTimeUntil(qint64 t) = 0;
};

/// The system's monotonic clock.
class SystemTickSource : public TickSource {
public:
    qint64 now() override;
    void waitUntil(qint64 t) override;
    std::optional<std::chrono::nanoseconds> realTimeUntil(qint64 t) override;
};

/// A clock that only moves when told to; waiting moves it to the end at once.
/// The show engine's thread reads it too, hence the atomic.
class ManualTickSource : public TickSource {
public:
    explicit ManualTickSource(qint64 start = 1'000'000) : m_now(start) {}
    qint64 now() override { return m_now.load(); }
    void waitUntil(qint64 t) override
    {
        if (t > m_now.load())
            m_now.store(t);
    }
    std::optional<std::chrono::nanoseconds> realTimeUntil(qint64) override { return std::nullopt; }
    void set(qint64 t) { m_now.store(t); }
    void advance(qint64 ms) { m_now.fetch_add(ms); }

private:
    std::atomic<qint64> m_now;
};

/// The process-wide system clock.
TickSource& systemTicks();

} // namespace mk
