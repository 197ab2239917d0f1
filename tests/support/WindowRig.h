#pragma once
// A main window on services a test drives: a clock moved by hand (or the system's), a joystick that stays put, dialogs
// answered from a script and a sound that records what it was asked, with COM 1 on a pseudo-terminal, the other three
// absent, and a temporary folder for the files it writes.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QtTest/qtestspontaneevent.h>
#include <cmath>
#include <memory>

#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "sound/RecordingSound.h"
#include "sound/TestWav.h"
#include "sound/graphWindow.h"
#include "support/PseudoTerminal.h"
#include "support/Shown.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"

namespace mk::test {

struct WindowRig {
    static constexpr int KeepMessages = 1; ///< the start-up probe's messages stay
    static constexpr int Shown = 2;        ///< shown, sized and the active window
    PseudoTerminal pty;
    mk::ManualTickSource ticks;
    mk::FixedJoystick joystick;
    mk::ScriptedDialogs dialogs;
    RecordingSound sound;
    QTemporaryDir dir;
    std::unique_ptr<mainForm> w; // after pty and the services: the window, closing its port, goes first

    explicit WindowRig(int how = 0, mk::TickSource* clock = nullptr) : m_how(how), m_clock(clock ? clock : &ticks)
    {
        restart();
    }
    void restart()
    {
        w.reset();
        // What the window keeps for the next start stays out of the user's own settings.
        QStandardPaths::setTestModeEnabled(true);
        w = std::make_unique<mainForm>(mk::Services{
            *m_clock, joystick, dialogs, sound,
            {pty.slavePath(), "/nonexistent/b", "/nonexistent/c", "/nonexistent/d"}});
        if (!(m_how & KeepMessages))
            dialogs.messages.clear();
        if (!(m_how & Shown))
            return;
        w->resize(1000, 760);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // Ctrl+Z is a window shortcut: the window must be the active one.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void trigger(const char* item) { w->menuItem(item)->trigger(); }
    void openPort()
    {
        w->ports().selectPort(1);
        QVERIFY(w->MSComm()->PortOpen());
    }
    void tick(int ms = 34)
    {
        ticks.advance(ms);
        w->SMPTEtimer()->tick();
    }
    /// A silent 16-bit stereo sound at 44.1 kHz of `bytes` bytes, in the folder unless the name is a whole path.
    QString wav(const QString& name, int bytes = 4000)
    {
        const QString file = QDir::isAbsolutePath(name) ? name : path(name);
        testwav::write(file, testwav::canonical(2, 44100, 16, QByteArray(bytes, '\0')));
        return file;
    }
    /// Servo i's range (minimum first: all used are below the start-up maximum 129), reversal and name (unless empty).
    void setup(int i, int min, int max, bool reversed = false, const QString& name = {})
    {
        w->slider(i)->setMinValue(min);
        w->slider(i)->setMaxValue(max);
        w->slider(i)->setIsReversed(reversed);
        if (!name.isEmpty())
            w->slider(i)->setServoName(name);
    }
    void import(const QString& file)
    {
        dialogs.paths << file;
        trigger("importSound");
    }
    /// A sound of `ms` whose file holds `bytes` of silence, loaded as --sound does.
    void loadShow(const QString& name = QStringLiteral("show.wav"), qint32 ms = 2000, int bytes = 4 * 88200)
    {
        sound.lengthMs = ms;
        w->importSoundFile(wav(name, bytes));
        sound.commands.clear();
    }
    /// Records value(f) into track `track` (every track if < 0) at frames from, from + step, ... up to `to`.
    template <typename Value>
    void fill(int track, qint32 from, qint32 to, Value value, int step = 1)
    {
        for (int i = track < 0 ? 0 : track; i <= (track < 0 ? 7 : track); ++i)
            for (qint32 f = from; f <= to; f += step) {
                w->slider(i)->setDataStartPoint(f);
                w->slider(i)->setData(qint16(value(f)));
            }
    }
    /// Plays from the cursor for `frames` frames, holding track `track`'s slider at `value` from frame 10 to 40 when
    /// track >= 0. Returns the frame messages written from Play on.
    QByteArray pass(int track, int value, int frames = 60)
    {
        const bool open = w->MSComm()->PortOpen();
        if (open)
            pty.read(1 << 20, 50); // what scrubbing sent before
        w->playClicked();
        const qint64 start = w->SMPTEtimer()->startTick();
        QSlider* s = track >= 0 ? w->slider(track)->findChild<QSlider*>("slider") : nullptr;
        QByteArray wire = open ? pty.read(24) : QByteArray(); // the pose Play starts from
        for (int f = 1; f <= frames; ++f) {
            if (s && f == 10) {
                QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
                s->setValue(value);
            }
            if (s && f == 40)
                QTest::mouseRelease(s, Qt::LeftButton, {}, s->rect().center());
            ticks.set(start + qint64(std::ceil(f * 100.0 / 3))); // the first millisecond of frame f
            w->SMPTEtimer()->tick();
            if (w->SMPTEtimer()->frameNumber() != f)
                qFatal("the clock shows frame %d, not %d", w->SMPTEtimer()->frameNumber(), f);
            // Read as the frames go, as a controller would: the port drops what a line not draining piles up.
            if (open)
                wire += pty.read(24);
        }
        w->stopClicked();
        return wire;
    }
    /// The frame messages of the first 60 frames played from one pose (where nothing is recorded the servo stays).
    QByteArray playback()
    {
        w->rewindClicked();
        for (int i = 0; i < 8; ++i)
            w->slider(i)->setPosition(128);
        return pass(-1, 0);
    }
    QString told(int i = -1) const { return mk::test::told(dialogs, i); }
    /// The window's close box, as the window manager sends it; whether it closed.
    bool closeBox()
    {
        QCloseEvent box;
        QSpontaneKeyEvent::setSpontaneous(&box);
        qApp->notify(w.get(), &box); // sendEvent would clear the flag
        return box.isAccepted();
    }
    /// Every servo at its centre, 128, in frame messages FF servo position.
    static QByteArray centreFrame() { return QByteArray::fromHex("FF0080FF0180FF0280FF0380FF0480FF0580FF0680FF0780"); }

private:
    int m_how;
    mk::TickSource* m_clock;
};

} // namespace mk::test
