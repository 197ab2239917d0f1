#include "engine/EngineClock.h"

#include <algorithm>
#include <cmath>

namespace mk::engine {

namespace {
constexpr double kFrameMs = 100.0 / 3.0;
}

std::int64_t frameAtMs(std::int64_t ms)
{
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(ms) / kFrameMs));
}

std::int64_t firstMsOfFrame(std::int64_t k)
{
    // Start near the half-frame instant and settle on the exact millisecond;
    // the rounding of halves makes the closed form off by one now and then.
    auto e = static_cast<std::int64_t>(std::ceil((static_cast<double>(k) - 0.5) * kFrameMs));
    while (frameAtMs(e) < k)
        ++e;
    while (frameAtMs(e - 1) >= k)
        --e;
    return e;
}

void MediaClock::start(Nanos now, Nanos show)
{
    m_anchorNow = now;
    m_anchorShow = show;
    m_rate = 1.0;
    m_error = 0.0;
    m_haveError = false;
}

Nanos MediaClock::showTimeAt(Nanos now) const
{
    return m_anchorShow + static_cast<Nanos>(std::llround(static_cast<double>(now - m_anchorNow) * m_rate));
}

Nanos MediaClock::instantOf(Nanos show) const
{
    return m_anchorNow + static_cast<Nanos>(std::ceil(static_cast<double>(show - m_anchorShow) / m_rate));
}

void MediaClock::follow(Nanos now, Nanos heard)
{
    // Re-anchor at now so the new rate applies from here on: show time is
    // continuous, and with the rate kept near 1 it only ever moves forward.
    const Nanos show = showTimeAt(now);
    m_anchorNow = now;
    m_anchorShow = show;
    // The device reports its position in whole buffers; smoothing keeps that
    // jitter out of the rate.
    const double raw = static_cast<double>(heard - show);
    m_error = m_haveError ? m_error + 0.1 * (raw - m_error) : raw;
    m_haveError = true;
    const double slew = m_error / (kCatchUpSeconds * 1e9);
    m_rate = 1.0 + std::clamp(slew, -kMaxSlew, kMaxSlew);
}

} // namespace mk::engine
