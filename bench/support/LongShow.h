#pragma once
// A long show in the main window, for the benchmarks that time the window:
// a sound service that plays nothing, sparse (or speech-like) WAV files of
// any length, motion with gaps on every track, and the thread's CPU clock.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <ctime>

#include "app/mainForm.h"
#include "platform/SoundService.h"
#include "tracks/NewSlider.h"

namespace mk::bench {

/// A sound service that plays nothing and knows lengths from the header.
class SilentSound : public mk::SoundService {
public:
    qint32 lengthMs = 0;
    int length(const QString&, qint32& ms) override { ms = lengthMs; return NoError; }
    int play(const QString&, qint32, qint32, bool) override { return NoError; }
    int stop(const QString&) override { return NoError; }
};

/// 16-bit stereo 44.1 kHz, `seconds` long: a sparse file of silence, or
/// with `audible` a warbling tone in bursts, like speech.
inline QString writeSound(const QString& dir, int seconds, bool audible = false)
{
    const quint32 bytes = quint32(seconds) * 176400u;
    QByteArray h("RIFF");
    auto le32 = [&](quint32 v) { char b[4]; qToLittleEndian(v, b); h.append(b, 4); };
    auto le16 = [&](quint16 v) { char b[2]; qToLittleEndian(v, b); h.append(b, 2); };
    le32(bytes + 36);
    h.append("WAVEfmt ");
    le32(16); le16(1); le16(2); le32(44100); le32(176400); le16(4); le16(16);
    h.append("data");
    le32(bytes);
    const QString path = QStringLiteral("%1/show%2.wav").arg(dir).arg(seconds);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(h) != h.size())
        return {};
    if (audible) {
        QByteArray samples(int(bytes), 0);
        for (quint32 i = 0; i < bytes / 4; ++i) {
            const double t = i / 44100.0;
            const double burst = std::max(0.0, std::sin(t * 2.1) * std::sin(t * 5.3 + 1));
            const auto v = qint16(20000 * burst * std::sin(2 * M_PI * (180 + 60 * std::sin(t * 3)) * t));
            qToLittleEndian(v, samples.data() + 4 * i);
            qToLittleEndian(v, samples.data() + 4 * i + 2);
        }
        return f.write(samples) == samples.size() ? path : QString();
    }
    return f.resize(h.size() + bytes) ? path : QString();
}

/// CPU time of the calling thread, in ms: the machine's other work does not
/// count, only what the lanes cost.
inline double threadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/// Motion on every track: swings with a jitter, and three seconds of
/// nothing recorded in every fifteen, different per track.
inline void fillTracks(mainForm& w, qint32 frames)
{
    for (int i = 0; i < 8; ++i) {
        NewSlider* t = w.slider(i);
        t->setMinValue(1);
        t->setMaxValue(255);
        t->setDataStartPoint(0);
        for (qint32 f = 0; f <= frames; ++f) {
            const bool gap = (f / 90 + i) % 5 == 0;
            const double v = 128 + 95 * std::sin(f / (9.0 + 4 * i)) + 25 * std::sin(f / 3.1 + i);
            t->setData(gap ? 0 : qint16(v));
        }
    }
}

/// The main window offscreen, 1100 pixels wide, with the lanes shown, on
/// services that stay put: a clock moved by hand, a still joystick, scripted
/// dialogs and a sound that plays nothing.
struct ShowWindow {
    mk::ManualTickSource ticks;
    mk::FixedJoystick joystick;
    mk::ScriptedDialogs dialogs;
    SilentSound sound;
    mainForm w{mk::Services{ticks, joystick, dialogs, sound, {"", "", "", ""}}};

    ShowWindow()
    {
        w.resize(1100, 800);
        w.show();
        if (auto* box = w.findChild<QCheckBox*>(QStringLiteral("motionLanesShown")))
            box->setChecked(true);
        QApplication::processEvents();
    }
};

} // namespace mk::bench
