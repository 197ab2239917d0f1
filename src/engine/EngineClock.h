#pragma once
// The show's time on the engine thread: which frame is current at an instant,
// when the next one becomes current, and how the clock is pulled towards the
// sound the listener hears without skipping or repeating a frame.
//
//   monotonic instant --(anchor, rate)--> show time --(whole ms)--> frame
//
// Show time is counted in nanoseconds but frames change where the old frame
// clock saw them change: at whole milliseconds, rounded half to even, so a
// show that keeps up sends the same frames at the same moments as before.
#include <cstdint>

namespace mk::engine {

using Nanos = std::int64_t;
inline constexpr Nanos kNanosPerMs = 1'000'000;

/// The frame shown after `ms` whole milliseconds of show time.
std::int64_t frameAtMs(std::int64_t ms);
/// The first whole millisecond of show time at which frame k is shown.
std::int64_t firstMsOfFrame(std::int64_t k);

class MediaClock {
public:
    /// The longest step of rate away from 1: half a percent changes a frame's
    /// length by a sixth of a millisecond, which no servo or ear notices, and
    /// still catches up 5 ms a second.
    static constexpr double kMaxSlew = 0.005;
    /// Errors are halved over about a second rather than jumped over.
    static constexpr double kCatchUpSeconds = 1.0;

    /// Show time `show` at monotonic instant `now`, at rate 1.
    void start(Nanos now, Nanos show);
    Nanos showTimeAt(Nanos now) const;
    /// The monotonic instant at which show time reaches `show` at today's rate.
    Nanos instantOf(Nanos show) const;
    /// The listener hears show time `heard` at `now`: the rate moves (within
    /// kMaxSlew) so that the clock converges on it. Show time stays continuous
    /// and never runs backwards.
    void follow(Nanos now, Nanos heard);
    double rate() const { return m_rate; }
    /// The smoothed distance between the sound heard and this clock, ns.
    double error() const { return m_error; }

private:
    Nanos m_anchorNow = 0;
    Nanos m_anchorShow = 0;
    double m_rate = 1.0;
    double m_error = 0.0;
    bool m_haveError = false;
};

} // namespace mk::engine
