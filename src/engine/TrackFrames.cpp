#include "engine/TrackFrames.h"

#include <algorithm>

#include "link/PositionCommand.h"
#include "platform/RuntimeError.h"
#include "tracks/ServoTrack.h"

namespace mk::engine {

TrackFrames::TrackFrames(const std::array<ServoTrack*, 8>& tracks, int count)
    : m_tracks(tracks), m_count(std::clamp(count, 1, 8))
{
}

void TrackFrames::setCount(int count)
{
    m_count = std::clamp(count, 1, 8);
}

int TrackFrames::frame(std::int32_t f, std::uint8_t* out)
{
    for (int i = 0; i < m_count; ++i)
        m_tracks[size_t(i)]->setCurrentFrame(f);
    // Each track is read once, after its update, in track order; a failure
    // part way leaves nothing to send for this frame.
    for (int i = 0; i < m_count; ++i) {
        const qint32 p = m_tracks[size_t(i)]->takeOutput();
        if (p < 0 || p > 255)
            throw RuntimeError::invalidCall();
        out[3 * i] = kCommandStart;
        out[3 * i + 1] = std::uint8_t(i);
        out[3 * i + 2] = std::uint8_t(p);
    }
    if (m_publishing)
        publish(f);
    return 3 * m_count;
}

void TrackFrames::publish(std::int32_t f)
{
    FrameShown s;
    s.frame = f;
    const auto valueAt = [](const std::vector<qint16>& d, std::int64_t i) -> std::int16_t {
        return i >= 0 && i < std::int64_t(d.size()) ? d[size_t(i)] : 0;
    };
    for (int i = 0; i < m_count; ++i) {
        const ServoTrack& t = *m_tracks[size_t(i)];
        s.slider[size_t(i)] = t.sliderValue();
        s.before[size_t(i)] = valueAt(t.recording(), std::int64_t(f) - 1);
        s.at[size_t(i)] = valueAt(t.recording(), f);
        s.maxframe[size_t(i)] = t.maxframe();
    }
    // An interface that has not looked for a while misses updates; it
    // catches up with the whole tracks once the show stops.
    m_shown.push(s);
}

void TrackFrames::apply(const Input& input)
{
    if (input.kind == Input::Kind::Joystick) {
        if (m_joystick)
            m_joystick->set({input.x, input.y, input.z, input.buttons});
        return;
    }
    if (input.track >= m_count)
        return;
    ServoTrack* t = m_tracks[input.track];
    t->setSliderHeld(input.held);
    t->setPosition(input.value);
}

} // namespace mk::engine
