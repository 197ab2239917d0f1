#pragma once
// The show's frame work for the engine: every track of the show is given the
// frame, then one position command per track goes into the frame message.
// While an engine runs with it, the tracks belong to the engine thread.
#include <array>
#include <optional>

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

/// What one frame update left on the tracks, for the interface to show: each
/// slider's position and the recorded positions at the frame and the frame
/// before it (an update may fill that one in).
struct FrameShown {
    std::int32_t frame = 0;
    std::array<std::int32_t, 8> slider{};
    std::array<std::int16_t, 8> before{};
    std::array<std::int16_t, 8> at{};
    std::array<std::int32_t, 8> maxframe{};
};

class TrackFrames : public FrameWork {
public:
    /// Tracks 0 to count - 1 make the message (count 1 to 8).
    TrackFrames(const std::array<ServoTrack*, 8>& tracks, int count);

    int frame(std::int32_t f, std::uint8_t* out) override;
    /// Slider inputs move the track's slider; joystick readings go to `joystick`.
    void apply(const Input& input) override;
    void setJoystick(PostedJoystick* joystick) { m_joystick = joystick; }
    /// Tracks 0 to count - 1 make the message from now on (while the engine
    /// does not run a frame: stopped, after a sync).
    void setCount(int count);

    /// From now on each frame update is published for nextShown() (set
    /// before the engine starts). Unread updates beyond 256 are dropped.
    void setPublishing(bool on) { m_publishing = on; }
    /// The interface thread: the oldest frame update not yet read.
    std::optional<FrameShown> nextShown() { return m_shown.pop(); }

private:
    void publish(std::int32_t f);

    SpscRing<FrameShown, 256> m_shown;
    bool m_publishing = false;
    std::array<ServoTrack*, 8> m_tracks;
    int m_count;
    PostedJoystick* m_joystick = nullptr;
};

} // namespace mk::engine
