#pragma once
// The main window with its first serial port on a pseudo-terminal and the
// other three absent, its show clock moved by hand.
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <sys/stat.h>

#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "sound/TestWav.h"
#include "sound/graphWindow.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"

namespace mk::test {

struct PortRig : WindowRig {
    PseudoTerminal pty;

    explicit PortRig(bool keepMessages = false)
    {
        open({pty.slavePath(), "/nonexistent/b", "/nonexistent/c", "/nonexistent/d"}, keepMessages);
    }
    ~PortRig() { w.reset(); } // the window closes its port before the terminal goes
    void openPort()
    {
        w->ports().selectPort(1);
        QVERIFY(w->MSComm()->PortOpen());
    }
    /// Moves the clock on by `ms` and lets it tick once.
    void tick(int ms = 34)
    {
        ticks.advance(ms);
        w->SMPTEtimer()->tick();
    }
    /// A silent 16-bit stereo sound at 44.1 kHz of `bytes` bytes, in the
    /// folder unless the name is a whole path.
    QString wav(const QString& name, int bytes = 4000)
    {
        const QString file = QDir::isAbsolutePath(name) ? name : path(name);
        testwav::write(file, testwav::canonical(2, 44100, 16, QByteArray(bytes, '\0')));
        return file;
    }
    void import(const QString& file)
    {
        dialogs.paths << file;
        trigger("importSound");
    }
    /// A two-second show, loaded as --sound does.
    void loadShow()
    {
        sound.lengthMs = 2000;
        w->importSoundFile(wav("show.wav", 4 * 88200));
        sound.commands.clear();
    }
    /// The window's close box, as the window manager sends it; whether it closed.
    bool closeBox()
    {
        QCloseEvent box;
        QSpontaneKeyEvent::setSpontaneous(&box);
        qApp->notify(w.get(), &box); // sendEvent would clear the flag
        return box.isAccepted();
    }
    /// Every servo at its centre, 128, in frame messages FF servo position.
    static QByteArray centreFrame()
    {
        QByteArray m;
        for (int i = 0; i < 8; ++i)
            m.append(char(0xFF)).append(char(i)).append(char(0x80));
        return m;
    }
};

} // namespace mk::test
