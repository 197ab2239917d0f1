#pragma once
// Everything of the open show apart from the recorded positions: each
// track's set-up and slider, the sound, the loop countdown, the project's
// file name and the window's title. Open Project and New Project replace all
// of it, so their undo steps keep it on both sides (the positions go through
// the take history's frame-by-frame record).
#include <QString>
#include <array>

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

} // namespace mk
