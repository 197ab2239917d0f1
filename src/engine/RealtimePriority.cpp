#include "engine/RealtimePriority.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace mk::engine {

std::string Priority::describe() const
{
    if (realtime)
        return std::string("real-time (") + (policy == SCHED_RR ? "SCHED_RR " : "SCHED_FIFO ") + std::to_string(level)
            + ")";
    std::string s = "normal priority";
    if (refusal != 0)
        s += std::string(" (real-time not permitted: ") + std::strerror(refusal) + ")";
    return s;
}

Priority raiseCallingThread()
{
    Priority p;
    int level = kEngineRtPriority;
    rlimit lim{};
    // Root ignores RLIMIT_RTPRIO; anyone else gets at most what it allows.
    if (getrlimit(RLIMIT_RTPRIO, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur > 0)
        level = std::min<int>(level, int(lim.rlim_cur));
    sched_param sp{};
    sp.sched_priority = level;
    const int r = pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);
    if (r == 0) {
        p.realtime = true;
        p.policy = SCHED_FIFO;
        p.level = level;
    } else {
        p.policy = SCHED_OTHER;
        p.refusal = r;
    }
    return p;
}

} // namespace mk::engine
