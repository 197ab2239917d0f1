#pragma once
// A project's tracks as a freshly started program holds them right after
// opening it: the start-up sequence, then the file's set-up and positions.
// Nothing played, dragged or recorded before reaches them, so what is built
// from them (the CD export and its check) depends on the project alone.
#include <array>
#include <memory>
#include <span>

#include "platform/Joystick.h"
#include "project/ProjectFile.h"
#include "tracks/ServoTrack.h"

namespace mk::project {

class OpenedShow {
public:
    /// Throws mk::RuntimeError as opening the project in the window does.
    explicit OpenedShow(const Project& p);
    OpenedShow(const OpenedShow&) = delete;
    OpenedShow& operator=(const OpenedShow&) = delete;

    /// Tracks 0..lastServoIndex.
    std::span<ServoTrack* const> tracks() const { return {m_tracks.data(), size_t(m_lastServoIndex) + 1}; }
    /// The show's last frame as the CD export counts it.
    qint32 lastFrame() const { return project::lastFrame(tracks(), m_lastServoIndex, &ServoTrack::maxframe); }

private:
    NoJoystick m_joystick;
    std::array<std::unique_ptr<ServoTrack>, kMaxLastServoIndex + 1> m_owned;
    std::array<ServoTrack*, kMaxLastServoIndex + 1> m_tracks{};
    quint8 m_lastServoIndex;
};

} // namespace mk::project
