#include "platform/TickSource.h"

#include <chrono>
#include <thread>

namespace mk {

qint64 SystemTickSource::now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemTickSource::waitUntil(qint64 t)
{
    // Sleep rather than spin: the wait blocks the user interface either way,
    // but a sleeping thread leaves the core to the audio and serial drivers.
    for (qint64 n = now(); n < t; n = now())
        std::this_thread::sleep_for(std::chrono::milliseconds(t - n));
}

TickSource& systemTicks()
{
    static SystemTickSource ticks;
    return ticks;
}

} // namespace mk
