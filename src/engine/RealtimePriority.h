#pragma once
// Real-time scheduling for the engine thread, where the system grants it.
#include <string>

namespace mk::engine {

struct Priority {
    bool realtime = false;
    int policy = 0;  ///< SCHED_FIFO, SCHED_RR or SCHED_OTHER
    int level = 0;   ///< the real-time priority, 0 for normal scheduling
    int refusal = 0; ///< errno of the refused request, 0 when granted

    /// "real-time (SCHED_FIFO 50)" or "normal (real-time not permitted: ...)".
    std::string describe() const;
};

/// The real-time level the engine asks for; RLIMIT_RTPRIO may cap it lower.
inline constexpr int kEngineRtPriority = 50;

/// Gives the calling thread SCHED_FIFO at kEngineRtPriority, or the highest
/// level RLIMIT_RTPRIO allows; falls back quietly to normal scheduling.
Priority raiseCallingThread();

} // namespace mk::engine
