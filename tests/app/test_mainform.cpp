// The main window with real controls, offscreen, and a show on a pseudo-terminal; the command line it starts from.
#include <algorithm>
#include <atomic>
#include <thread>

#include "app/CommandLine.h"
#include "engine/ShowEngine.h"
#include "support/WindowRig.h"
#include "tracks/SetupServo.h"
#include "tracks/calibrateJoystick.h"

using mk::test::WindowRig;

namespace {
struct Scrub { bool sound; int maxframe, cursorMs, frame; }; // sound: a two-second show, whose clock stops
struct Space { QString focus; Qt::KeyboardModifiers modifiers; bool transport; QString text; };
struct Quit { QString before, how; mk::MessageAnswer answer; bool asked, closes, written; };
struct Cli { QStringList args; int exitCode; QString parsed; }; // exitCode -1: the program runs
} // namespace
Q_DECLARE_METATYPE(Scrub)
Q_DECLARE_METATYPE(Space)
Q_DECLARE_METATYPE(Quit)
Q_DECLARE_METATYPE(Cli)

class TestMainForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The menu bar, then each menu's items as text:shortcut, - for a separator (the items' names are the ones every
    // test triggers by); About; a track's gear opens "Setup" for that servo and its end positions go out on the port
    // at once; Ports > Calibrate Joystick shows the calibration dialog loaded hidden at start-up.
    void menusAndTheirDialogs()
    {
        WindowRig rig(WindowRig::Shown);
        mainForm& w = *rig.w;
        QStringList seen;
        for (QAction* a : w.menuBar()->actions().mid(0, 3)) {
            seen << "|" + a->text();
            for (QAction* item : a->menu()->actions()) {
                const QString key = item->shortcut().toString();
                seen << (item->isSeparator() ? QStringLiteral("-") : item->text()) + (key.isEmpty() ? "" : ":" + key);
            }
        }
        QCOMPARE(seen.join(','), QStringLiteral("|File,About MarionetteKit,-,Import Sound:Ctrl+I,-,New Project:Ctrl+N,"
                                                "Open Project:Ctrl+O,Save Project:Ctrl+S,Save Project As:Ctrl+Shift+S,"
                                                "Save Settings Only,-,Export Project for CD Playback:Ctrl+E,-,"
                                                "Quit:Ctrl+Q,-,Open Recent,|Ports,COM 1,COM 2,COM 3,COM 4,-,"
                                                "Calibrate Joystick,|Edit,Undo:Ctrl+Z,Redo:Ctrl+Shift+Z,-,Cut:Ctrl+X,"
                                                "Copy:Ctrl+C,Paste:Ctrl+V,Delete:Del,-,Select All:Ctrl+A,-,Smooth…,"
                                                "Scale…,Offset…,Shift in Time…,-,Jaw from Sound…"));
        rig.trigger("aboutMarionetteKit");
        auto* box = w.findChild<QDialog*>("about");
        QVERIFY(box->isVisible());
        box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!box->isVisible());

        rig.openPort();
        QTest::mouseClick(w.slider(3)->findChild<QToolButton*>(QStringLiteral("setup")), Qt::LeftButton);
        QPointer<SetupServo> dialog = w.setupServo();
        QVERIFY(dialog->isVisible());
        // Filling previews the track's ends, maximum first (servo 3's), on the window's port.
        QCOMPARE(rig.pty.read(6), QByteArray("\xFF\x03\x81\xFF\x03\x7F", 6));
        // Another gear re-uses the one dialog; closing unloads it.
        QTest::mouseClick(w.slider(5)->findChild<QToolButton*>(QStringLiteral("setup")), Qt::LeftButton);
        QVERIFY(w.setupServo() == dialog.data() && dialog->whichservo() == 5);
        dialog->close();
        QTRY_VERIFY(dialog.isNull());

        calibrateJoystick* c = w.calibrationDialog();
        QVERIFY(c && c->numberOfSliders() == 7 && !c->isVisible() && !c->polling());
        rig.joystick.reading.x = 4321;
        rig.trigger("calibrateJoy");
        QCOMPARE(mk::test::fields(c->isVisible(), c->windowTitle()), QStringLiteral("true Calibrate Joystick"));
        QTRY_COMPARE(c->calibration().gauge(0).value, 4321);
        QTest::mouseClick(c->findChild<QPushButton*>(QStringLiteral("setMin0")), Qt::LeftButton);
        QCOMPARE(int(w.slider(7)->track().calibrationLow(0)), 4321); // the window's tracks, to the last
        // Closing the main window takes the dialog along.
        w.close();
        QVERIFY(!c->isVisible());
    }

    // Start-up, the port chosen, Play with a held slider and the joystick, a
    // position the wire cannot carry, Rewind, and the port unplugged mid-show.
    void showOnTheWire()
    {
        WindowRig rig(WindowRig::KeepMessages | WindowRig::Shown); // whether the start-up probe spoke is checked
        const QByteArray centre = WindowRig::centreFrame();
        // A free port is offered but neither opened nor checked; the others are greyed out, with no message for a
        // single port.
        const auto com = [&](int n) { return rig.w->menuItem(QStringLiteral("selectCOM%1").arg(n)); };
        QAction* com1 = com(1);
        QCOMPARE(mk::test::fields(rig.w->MSComm()->PortOpen(), com1->isEnabled(), com1->isChecked(),
                                  com(2)->isEnabled(), com(3)->isEnabled(), com(4)->isEnabled(), com1->statusTip(),
                                  rig.dialogs.messages.size()),
                 "false true false false false false " + rig.pty.slavePath() + " 0");
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
        // Choosing the port in use again reopens it and keeps its check mark.
        for (int k = 0; k < 2; ++k) {
            com1->trigger();
            QVERIFY(com1->isChecked() && rig.w->MSComm()->PortOpen());
            rig.w->onFrameChange();
            QCOMPARE(rig.pty.read(24), centre);
        }

        const qint64 before = rig.ticks.now();
        rig.w->playClicked();
        QVERIFY(rig.ticks.now() - before >= 200); // the wait before play
        QCOMPARE(rig.pty.read(24), centre); // the first pose, before the first tick
        rig.tick();
        QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), 1);
        QCOMPARE(rig.pty.read(24), centre);
        rig.tick(1); // within the same frame: nothing
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
        // Rewind stops at frame 0 and sends its pose; Play from there sends it
        // again before the clock ticks, and the first tick nothing.
        rig.w->rewindClicked();
        QVERIFY(rig.w->SMPTEtimer()->frameNumber() == 0 && !rig.w->SMPTEtimer()->isItRunning());
        QCOMPARE(rig.pty.read(24, 50), centre);
        rig.w->playClicked();
        QCOMPARE(rig.pty.read(24), centre);
        rig.tick(1);
        QCOMPARE(rig.pty.read(1, 50), QByteArray());

        // A range beyond a byte: the error is told, nothing written, the show goes on.
        rig.w->slider(3)->setMaxValue(300);
        rig.w->slider(3)->setPosition(300);
        rig.tick();
        QCOMPARE(rig.told(), mk::test::shown::beyondAByte);
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
        QVERIFY(rig.w->SMPTEtimer()->isItRunning());
        rig.w->slider(3)->setPosition(128);
        rig.tick();
        QCOMPARE(rig.pty.read(24), centre);

        // A held slider (servo 2) and the joystick's third axis (servo 5) are recorded and sent frame by frame.
        rig.w->slider(5)->setWhichJoystickChannel(2);
        rig.w->slider(5)->setUsesJoystick(true);
        rig.joystick.reading.z = 32767; // the top of its calibration: the servo's maximum
        rig.joystick.reading.buttons = 1;
        auto* s = rig.w->slider(2)->findChild<QSlider*>("slider");
        QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
        s->setValue(s->maximum());
        const QByteArray held = QByteArray::fromHex("FF0080FF0180FF0281FF0380FF0480FF0581FF0680FF0780"); // 2, 5 at 129
        rig.tick(); // the joystick is read again once this frame is out
        QCOMPARE(rig.pty.read(24).at(8), held.at(8));
        rig.tick();
        QCOMPARE(rig.pty.read(24), held);
        rig.tick(33);
        QCOMPARE(rig.pty.read(24), held);
        QTest::mouseRelease(s, Qt::LeftButton, {}, s->rect().center());

        // Unplugged: told once, unchecked; playback and recording go on.
        rig.pty.closeMaster();
        rig.tick(); // a write into the void
        QVERIFY(QTest::qWaitFor([&] { return !rig.w->MSComm()->PortOpen(); }, 2000));
        QTest::qWait(100);
        for (int k = 0; k < 5; ++k)
            rig.tick();
        QCOMPARE(mk::test::fields(com1->isChecked(), rig.w->SMPTEtimer()->isItRunning(), rig.dialogs.messages.size()),
                 QStringLiteral("false true 2"));
    }

    void scrub_data()
    {
        QTest::addColumn<Scrub>("row");
        QTest::newRow("half way") << Scrub{false, 300, 500, 150};
        QTest::newRow("half frame rounds to even") << Scrub{false, 1, 500, 0};
        QTest::newRow("one and a half rounds to even") << Scrub{false, 3, 500, 2};
        QTest::newRow("sound, 10 s") << Scrub{true, 0, 10000, 300};
        QTest::newRow("sound, before the start") << Scrub{true, 0, -40, 0};
    }

    void scrub()
    {
        QFETCH(Scrub, row);
        const auto [sound, maxframe, cursorMs, frame] = row;
        WindowRig rig;
        rig.openPort();
        if (sound) {
            rig.loadShow();
            rig.w->playClicked();
            QVERIFY(rig.w->SMPTEtimer()->isItRunning());
        } else {
            rig.w->slider(1)->setMaxframe(maxframe);
        }
        rig.pty.drain();
        rig.w->graphWindow()->setcCurrentTimeInMilliseconds(cursorMs);
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
        QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), frame);
        if (!sound) // one message for the frame under the cursor, and no more
            QCOMPARE(rig.pty.read(48, 300), WindowRig::centreFrame());
    }

    // Space (with Shift or Ctrl too) starts and stops the show from any control but a servo's name, which takes it as a
    // blank. The countdown's seconds box takes no blank; waiting to repeat, Space stops the countdown. The text is the
    // focused box's after the second Space.
    void spaceWhereverTheFocus_data()
    {
        QTest::addColumn<Space>("row");
        QTest::newRow("seconds box, Shift") << Space{"Text1", Qt::ShiftModifier, true, "12"};
        QTest::newRow("slider, Ctrl") << Space{"slider", Qt::ControlModifier, true, ""};
        QTest::newRow("slider, Alt") << Space{"slider", Qt::AltModifier, false, ""};
        QTest::newRow("servo name") << Space{"theServoName", {}, false, "Jaw  "};
        QTest::newRow("window, counting down") << Space{"", {}, false, ""};
    }

    void spaceWhereverTheFocus()
    {
        QFETCH(Space, row);
        const auto& [focus, mods, transport, text] = row;
        WindowRig rig(WindowRig::Shown);
        QWidget* target = focus.isEmpty()  ? rig.w.get()
            : focus == "Text1" ? rig.w->countdownTimer()->findChild<QWidget*>(focus)
                               : rig.w->slider(0)->findChild<QWidget*>(focus);
        auto* box = qobject_cast<QLineEdit*>(target);
        if (box) // the cursor at the end
            box->setText(focus == "Text1" ? "12" : "Jaw");
        if (focus.isEmpty()) {
            rig.w->countdownTimer()->setEnabled(true);
            rig.w->onSoundHasStopped();
            QVERIFY(rig.w->countdownTimer()->isItRunning());
        }
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Space, mods);
        QCOMPARE(rig.w->SMPTEtimer()->isItRunning(), transport);
        QVERIFY(!rig.w->countdownTimer()->isItRunning());
        QTest::keyClick(target, Qt::Key_Space, mods);
        QCOMPARE(rig.w->SMPTEtimer()->isItRunning(), focus.isEmpty());
        if (box)
            QCOMPARE(box->text(), text);
    }

    // The frames run on the show engine's thread: with the window's thread blocked for half a second mid-show, frame
    // messages keep reaching the line, and a held slider goes on recording every frame.
    void showKeepsTimeWhileTheWindowIsBlocked()
    {
        WindowRig rig(WindowRig::Shown, &mk::systemTicks());
        mainForm& w = *rig.w;
        rig.openPort();
        std::atomic<qint64> received{0};
        std::atomic<bool> reading{true};
        std::thread reader([&] {
            while (reading)
                received += rig.pty.read(1 << 16, 20, false).size();
        });
        auto* s = w.slider(2)->findChild<QSlider*>("slider");
        w.playClicked();
        QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
        s->setValue(s->maximum());
        QTest::qWait(100);
        // Set-up changed mid-show, as the Setup window and the Active boxes do.
        w.slider(4)->setPlaybackEnabled(false);
        rig.setup(5, 127, 200, true);
        const qint64 before = received;
        QThread::msleep(500);
        const qint64 during = received - before;
        QTest::qWait(100);
        QTest::mouseRelease(s, Qt::LeftButton, {}, s->rect().center());
        w.stopClicked();
        reading = false;
        reader.join();
        QVERIFY2(during >= 24 * 10, qPrintable(QString::number(during))); // about 15 frames
        const std::vector<qint16>& rec = w.slider(2)->track().recording();
        const auto first = std::find(rec.begin(), rec.end(), qint16(s->maximum()));
        const auto last = std::find(rec.rbegin(), rec.rend(), qint16(s->maximum())).base();
        QVERIFY(last - first >= 20);
        // Only a frame the engine skipped (a machine far too busy) leaves a hole.
        const auto holes = std::count_if(first, last, [&](qint16 v) { return v != s->maximum(); });
        QVERIFY(quint64(holes) <= w.showEngine().framesSkipped());
    }

    // What was there before quitting, how the window is closed, the answer to "Save before quitting?"; whether it was
    // asked, whether the window closes and whether the project's file is written (saved on Yes).
    void quitting_data()
    {
        QTest::addColumn<Quit>("row");
        const auto cancel = mk::MessageAnswer::Cancel, no = mk::MessageAnswer::No, yes = mk::MessageAnswer::Yes;
        QTest::newRow("nothing changed") << Quit{"", "menu", cancel, false, true, false};
        QTest::newRow("changed, Cancel keeps play going") << Quit{"changed", "menu", cancel, true, false, false};
        QTest::newRow("changed, Yes, Save As cancelled") << Quit{"changed", "menu", yes, true, false, false};
        QTest::newRow("saved, then changed: box, Cancel") << Quit{"saved changed", "box", cancel, true, false, false};
        QTest::newRow("saved, then changed: box, No") << Quit{"saved changed", "box", no, true, true, false};
        QTest::newRow("saved, then changed: box, Yes") << Quit{"saved changed", "box", yes, true, true, true};
        QTest::newRow("changed, closed by the program") << Quit{"changed", "close", cancel, false, true, false};
        QTest::newRow("changed, then saved") << Quit{"changed saved", "menu", cancel, false, true, true};
        QTest::newRow("changed, then New Project") << Quit{"changed new", "menu", cancel, false, true, false};
    }

    void quitting()
    {
        QFETCH(Quit, row);
        const auto& [before, how, answer, asked, closes, written] = row;
        WindowRig rig(WindowRig::Shown);
        const QString file = rig.path("box.pjt");
        for (const QString& step : before.split(' ', Qt::SkipEmptyParts)) {
            if (step == "changed") {
                rig.w->countdownTimer()->setDuration(4);
                rig.w->slider(1)->setMaxframe(5);
                rig.fill(1, 3, 3, [](int) { return 99; });
            } else if (step == "saved") {
                rig.dialogs.paths << file;
                rig.trigger("fileSaveAs");
            } else if (step == "new") {
                rig.dialogs.answers << mk::MessageAnswer::Yes;
                rig.trigger("newProject");
            }
        }
        // The first save's file goes, so that only a save on quitting brings it back.
        if (before == "saved changed")
            QFile::remove(file);
        rig.dialogs.messages.clear();
        rig.w->playClicked();
        rig.dialogs.answers << answer;
        if (how == "menu")
            rig.trigger("fileQuit");
        else if (how == "box")
            QCOMPARE(rig.closeBox(), closes);
        else
            rig.w->close();
        QCOMPARE(rig.told(), asked ? mk::test::shown::quitChanged : QString());
        if (how != "box") // the close box's event alone hides nothing
            QCOMPARE(rig.w->isVisible(), !closes);
        if (!closes)
            QVERIFY(rig.w->SMPTEtimer()->isItRunning()); // Cancel leaves play going
        QCOMPARE(QFile::exists(file), written);
    }

    void splashShowsMainWindowWhenTimerFires()
    {
        QPointer<QWidget> main;
        QPointer<splashScreen> splash = new splashScreen([&] { return main = new QWidget; });
        splash->show();
        QCOMPARE(splash->Timer1()->interval(), 5000);
        QVERIFY(splash->Timer1()->isActive() && !main);
        splash->Timer1()->start(0);
        QVERIFY(QTest::qWaitFor([&] { return !splash; }, 2000));
        QVERIFY(main && main->isVisible());
        delete main;
    }

    void commandLine_data()
    {
        QTest::addColumn<Cli>("row"); // parsed: splash, port, project | sound; or what the program says
        QTest::newRow("plain") << Cli{{}, -1, "1 0  | "};
        QTest::newRow("port out of range") << Cli{{"--port", "5"}, 2, ""};
        QTest::newRow("port not a number") << Cli{{"--port", "x"}, 2, ""};
        QTest::newRow("help") << Cli{{"--help"}, 0, "--open <file>"};
        QTest::newRow("version") << Cli{{"--version"}, 0, ""};
        QTest::newRow("unknown") << Cli{{"--bogus"}, 2, ""};
        QTest::newRow("open, no file") << Cli{{"--open"}, 2, ""};
        QTest::newRow("kiosk, open")
            << Cli{{"--no-splash", "--open", "/shows/a.pjt", "--port", "2"}, -1, "0 2 /shows/a.pjt | "};
        // Paths relative to where the program started are stored absolute.
        QTest::newRow("relative paths")
            << Cli{{"--open", "shows/a.pjt", "--sound", "a.wav"}, -1,
                   QStringLiteral("1 0 %1/shows/a.pjt | %1/a.wav").arg(QDir::currentPath())};
    }

    void commandLine()
    {
        QFETCH(Cli, row);
        const auto& [args, exitCode, parsed] = row;
        QString out, err;
        int code = -1;
        const auto options = mk::parseCommandLine(QStringList{"marionettekit"} + args, out, err, code);
        QCOMPARE(bool(options), exitCode < 0);
        if (options) {
            QCOMPARE(mk::test::fields(int(options->splash), options->port, options->projectFile, QStringLiteral("|"),
                                      options->soundFile),
                     parsed);
        } else {
            QCOMPARE(code, exitCode);
            QVERIFY(!(out + err).isEmpty() && (out + err).contains(parsed));
        }
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
