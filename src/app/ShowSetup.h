#pragma once
// Everything of the open show apart from the recorded positions: each
// track's set-up and slider, the sound, the loop countdown, the project's
// file name and the window's title. The take history keeps it on both sides
// of a step that changed it (the positions go through its frame-by-frame
// record).
#include <QString>
#include <array>
#include <tuple>

namespace mk {

struct ShowSetup {
    struct Track {
        QString name; ///< the name box's whole text
        qint16 minValue = 127;
        qint16 maxValue = 129;
        bool reversed = false;
        bool playbackSwitch = false;
        bool activeChecked = false;
        bool usesJoystick = false;
        qint16 channel = 0;
        qint32 position = 128;
    };
    std::array<Track, 8> tracks;
    quint8 lastServoIndex = 7;
    QString sound;
    bool soundLoaded = false;
    qint16 countdownDuration = 10;
    bool countdownEnabled = false;
    QString projectFile;
    QString title;
};

/// The same show but for where the sliders stand, the file name and the
/// title: those follow playback and saving, not the user's set-up.
inline bool sameSetUp(const ShowSetup& a, const ShowSetup& b)
{
    auto key = [](const ShowSetup::Track& t) {
        return std::tie(t.name, t.minValue, t.maxValue, t.reversed, t.playbackSwitch, t.activeChecked,
                        t.usesJoystick, t.channel);
    };
    for (size_t i = 0; i < a.tracks.size(); ++i) {
        if (key(a.tracks[i]) != key(b.tracks[i]))
            return false;
    }
    return std::tie(a.lastServoIndex, a.sound, a.soundLoaded, a.countdownDuration, a.countdownEnabled)
        == std::tie(b.lastServoIndex, b.sound, b.soundLoaded, b.countdownDuration, b.countdownEnabled);
}

} // namespace mk
