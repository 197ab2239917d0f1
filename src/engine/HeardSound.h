#pragma once
// The sound being heard as the engine's clock follows it: the output's
// position in the file, carried forward to the instant the engine asks about.
#include "engine/ShowEngine.h"
#include "platform/SoundService.h"

namespace mk::engine {

class HeardSound : public HeardClock {
public:
    explicit HeardSound(const SoundService& sound) : m_sound(sound) {}
    bool heard(Nanos now, Nanos& show) override
    {
        qint64 frame = 0, at = 0;
        int rate = 0;
        if (!m_sound.heardPosition(frame, at, rate) || rate <= 0)
            return false;
        show = Nanos(double(frame) * 1e9 / rate) + (now - at);
        return true;
    }

private:
    const SoundService& m_sound;
};

} // namespace mk::engine
