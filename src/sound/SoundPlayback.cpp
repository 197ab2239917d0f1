#include "sound/SoundPlayback.h"

#include "platform/Rounding.h"

namespace mk {

void SoundPlayback::setFile(const QString& path)
{
    m_file = path;
}

void SoundPlayback::stop()
{
    stopSound();
    m_playing = false;
}

void SoundPlayback::stopSound()
{
    if (hasSound())
        m_sound.stop(m_file);
}

void SoundPlayback::play(Mode mode, qint32 fromMs, qint32 toMs, qint32 lengthMs, qint32 endFromMs)
{
    m_mode = mode;
    if (!hasSound())
        return;
    m_sound.play(m_file, fromMs, toMs, false);
    m_playing = true;
    // The clock runs over the range actually played, so the cursor follows
    // the sound and the end comes when the range has been played.
    const qint64 now = m_ticks.now();
    m_startTick = now;
    m_startMs = fromMs;
    m_endTick = toMs < 0 ? now + (qint64(lengthMs) - endFromMs) : now + (qint64(toMs) - fromMs);
}

void SoundPlayback::prepare()
{
    if (hasSound())
        m_sound.prepare(m_file);
}

void SoundPlayback::snippet(qint32 ms, bool wait)
{
    if (hasSound())
        m_sound.play(m_file, ms, checkedNarrow<qint32>(qint64(ms) + 20), wait);
}

SoundPlayback::Position SoundPlayback::position() const
{
    const qint64 now = m_ticks.now();
    return {checkedNarrow<qint32>(now - m_startTick + m_startMs), now > m_endTick};
}

} // namespace mk
