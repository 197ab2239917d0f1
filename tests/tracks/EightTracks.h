#pragma once
// The main window's eight track controls, numbered 0 to 7, as the track
// dialogs look them up.
#include <memory>
#include <vector>

#include "tracks/NewSlider.h"
#include "tracks/SetupServo.h"

namespace mk::test {

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

} // namespace mk::test
