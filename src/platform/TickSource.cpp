#include "platform/TickSource.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace mk {

qint64 SystemTickSource::now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// now() is the steady clock cut down to whole milliseconds, so it reaches t
// at exactly t ms of the steady clock.
void SystemTickSource::waitUntil(qint64 t)
{
    // Sleep rather than spin: the wait blocks the user interface either way,
    // but a sleeping thread leaves the core to the audio and serial drivers.
    const std::chrono::steady_clock::time_point due{std::chrono::milliseconds(t)};
    while (std::chrono::steady_clock::now() < due)
        std::this_thread::sleep_until(due);
}

std::optional<std::chrono::nanoseconds> SystemTickSource::realTimeUntil(qint64 t)
{
    using namespace std::chrono;
    const nanoseconds left = milliseconds(t) - steady_clock::now().time_since_epoch();
    return std::max(left, nanoseconds::zero());
}

TickSource& systemTicks()
{
    static SystemTickSource ticks;
    return ticks;
}

} // namespace mk
