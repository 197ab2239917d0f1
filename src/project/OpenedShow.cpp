#include "project/OpenedShow.h"

namespace mk::project {

OpenedShow::OpenedShow(const Project& p)
    : m_lastServoIndex(p.lastServoIndex)
{
    if (m_lastServoIndex > kMaxLastServoIndex)
        throw RuntimeError::subscriptOutOfRange();
    for (size_t i = 0; i < m_owned.size(); ++i) {
        m_owned[i] = std::make_unique<ServoTrack>(m_joystick);
        m_tracks[i] = m_owned[i].get();
        // The main window's start-up sequence.
        m_tracks[i]->setWhichservo(qint16(i));
        m_tracks[i]->setPlaybackEnabled(true);
        m_tracks[i]->setRecordingEnabled(true);
    }
    applyToTracks(p, std::span<ServoTrack* const>(m_tracks));
}

} // namespace mk::project
