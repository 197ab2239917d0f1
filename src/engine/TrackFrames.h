#pragma once
// The show's frame work for the engine: every track of the show is given the
// frame, then one position command per track goes into the frame message.
// While an engine runs with it, the tracks belong to the engine thread.
#include <array>

#include "engine/ShowEngine.h"
#include "platform/Joystick.h"

namespace mk {
class ServoTrack;
}

namespace mk::engine {

/// The joystick as the engine's tracks see it: the last reading the
/// interface posted (SDL is polled on the interface thread only).
class PostedJoystick : public Joystick {
public:
    JoystickReading read() override { return m_reading; }
    void set(const JoystickReading& r) { m_reading = r; }

private:
    JoystickReading m_reading;
};

class TrackFrames : public FrameWork {
public:
    /// Tracks 0 to count - 1 make the message (count 1 to 8).
    TrackFrames(const std::array<ServoTrack*, 8>& tracks, int count);

    int frame(std::int32_t f, std::uint8_t* out) override;
    /// Slider inputs move the track's slider; joystick readings go to `joystick`.
    void apply(const Input& input) override;
    void setJoystick(PostedJoystick* joystick) { m_joystick = joystick; }

private:
    std::array<ServoTrack*, 8> m_tracks;
    int m_count;
    PostedJoystick* m_joystick = nullptr;
};

} // namespace mk::engine
