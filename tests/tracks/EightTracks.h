#pragma once
// The main window's eight track controls, numbered 0 to 7, as the track
// dialogs look them up; and eight bare tracks, as the engine and the exporter take them.
#include <array>
#include <memory>
#include <span>
#include <vector>

#include "platform/Joystick.h"
#include "tracks/NewSlider.h"
#include "tracks/ServoTrack.h"
#include "tracks/SetupServo.h"

namespace mk::test {

/// A track (or its control) as the main window leaves it after start-up: playback and recording on, min..max.
template <class Track>
void startUp(Track& t, int min, int max)
{
    t.setPlaybackEnabled(true);
    t.setRecordingEnabled(true);
    t.setMaxValue(qint16(max));
    t.setMinValue(qint16(min));
}

template <class Track>
void putAt(Track& t, qint32 f, qint16 v)
{
    t.setDataStartPoint(f);
    t.setData(v);
}

struct EightTracks {
    std::vector<std::unique_ptr<NewSlider>> tracks;
    explicit EightTracks(mk::Joystick& joystick)
    {
        for (int i = 0; i < 8; ++i) {
            tracks.push_back(std::make_unique<NewSlider>(joystick));
            tracks.back()->setWhichservo(qint16(i));
        }
    }
    NewSlider& operator[](int i) { return *tracks.at(size_t(i)); }
    mk::TrackLookup lookup()
    {
        return [this](int i) { return i >= 0 && i < 8 ? tracks[size_t(i)].get() : nullptr; };
    }
};

/// Playback and recording on, the range min..max.
struct EightServoTracks {
    mk::NoJoystick joystick;
    std::vector<std::unique_ptr<ServoTrack>> owned;
    std::array<ServoTrack*, 8> tracks{};
    EightServoTracks(int min, int max)
    {
        for (ServoTrack*& t : tracks) {
            owned.push_back(std::make_unique<ServoTrack>(joystick));
            t = owned.back().get();
            startUp(*t, min, max);
        }
    }
    std::span<ServoTrack* const> all() const { return {tracks.data(), tracks.size()}; }
};

} // namespace mk::test
