// The main window with real controls, offscreen: menus, start-up, the
// transport and frame loop against a pseudo-terminal, Space, quit.
#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTest>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "app/CommandLine.h"
#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "engine/ShowEngine.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "sound/graphWindow.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"

using mk::test::PseudoTerminal;

namespace {

QByteArray centreFrame()
{
    QByteArray m;
    for (int i = 0; i < 8; ++i)
        m.append(char(0xFF)).append(char(i)).append(char(0x80));
    return m;
}

struct Rig : mk::test::WindowRig {
    PseudoTerminal pty;

    // Start-up's messages are kept: whether the probe spoke is checked.
    Rig() { open({pty.slavePath(), "/nonexistent/ttyB", "/nonexistent/ttyC", "/nonexistent/ttyD"}, KeepMessages); }
    // The window goes before the port it holds open.
    ~Rig() { w.reset(); }
    void openPort()
    {
        w->ports().selectPort(1);
        QVERIFY(w->MSComm()->PortOpen());
    }
    /// Moves the clock on by `ms` and lets it tick once.
    void tick(int ms)
    {
        ticks.advance(ms);
        w->SMPTEtimer()->tick();
    }
};

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void menus_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("File") << QStringLiteral("fileMenu")
                              << QStringList{"aboutMarionetteKit:About MarionetteKit", "nothing2:-",
                                             "importSound:Import Sound:Ctrl+I", "nothing:-",
                                             "newProject:New Project:Ctrl+N", "openProject:Open Project:Ctrl+O",
                                             "fileSave:Save Project:Ctrl+S", "fileSaveAs:Save Project As:Ctrl+Shift+S",
                                             "fileSaveSettings:Save Settings Only", "no:-",
                                             "fileExportToCD:Export Project for CD Playback:Ctrl+E", "nothing3:-",
                                             "fileQuit:Quit:Ctrl+Q", "recentSeparator:-", "openRecent:Open Recent"};
        QTest::newRow("Ports") << QStringLiteral("editMenu")
                               << QStringList{"selectCOM1:COM 1", "selectCOM2:COM 2", "selectCOM3:COM 3",
                                              "selectCOM4:COM 4", "name:-", "calibrateJoy:Calibrate Joystick"};
        QTest::newRow("Edit") << QStringLiteral("showEditMenu")
                              << QStringList{"undoTake:Undo:Ctrl+Z", "redoTake:Redo:Ctrl+Shift+Z", "editSeparator1:-",
                                             "editCut:Cut:Ctrl+X", "editCopy:Copy:Ctrl+C", "editPaste:Paste:Ctrl+V",
                                             "editDelete:Delete:Del", "editSeparator2:-",
                                             "editSelectAll:Select All:Ctrl+A", "editSeparator3:-",
                                             "editSmooth:Smooth…", "editScale:Scale…", "editOffset:Offset…",
                                             "editShift:Shift in Time…", "editSeparator4:-",
                                             "jawFromSound:Jaw from Sound…"};
    }

    void menus()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, items);
        Rig rig;
        auto* m = rig.w->menuBar()->findChild<QMenu*>(menu);
        QVERIFY(m);
        QStringList seen;
        for (QAction* a : m->actions()) {
            const QString key = a->shortcut().toString();
            seen << a->objectName() + ":" + (a->isSeparator() ? QStringLiteral("-") : a->text())
                    + (key.isEmpty() ? QString() : ":" + key);
            QVERIFY(!a->isChecked());
        }
        QCOMPARE(seen, items);
        QCOMPARE(rig.w->menuBar()->actions().at(0)->text(), QStringLiteral("File"));
        QCOMPARE(rig.w->menuBar()->actions().at(1)->text(), QStringLiteral("Ports"));
        QCOMPARE(rig.w->menuBar()->actions().at(2)->text(), QStringLiteral("Edit"));
    }

    void startUp()
    {
        Rig rig;
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(int(rig.w->slider(i)->whichservo()), i);
            QVERIFY(rig.w->slider(i)->playbackEnabled());
        }
        // A free port is offered but neither opened nor checked; the others are
        // greyed out, with no message for a single port.
        QVERIFY(!rig.w->MSComm()->PortOpen());
        QVERIFY(rig.w->menuItem("selectCOM1")->isEnabled());
        for (int n = 2; n <= 4; ++n)
            QVERIFY(!rig.w->menuItem(QStringLiteral("selectCOM%1").arg(n))->isEnabled());
        QCOMPARE(rig.w->menuItem("selectCOM1")->statusTip(), rig.pty.slavePath());
        QVERIFY(rig.dialogs.messages.isEmpty());
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
    }

    void playSendsFrameMessages()
    {
        Rig rig;
        rig.openPort();
        const qint64 before = rig.ticks.now();
        rig.w->playClicked();
        QVERIFY(rig.ticks.now() - before >= 200); // the wait before play
        QVERIFY(rig.w->SMPTEtimer()->isItRunning());
        // The first pose goes out before the first tick.
        QCOMPARE(rig.pty.read(24), centreFrame());
        for (int k = 1; k <= 3; ++k) {
            rig.tick(34);
            QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), k);
            QCOMPARE(rig.pty.read(24), centreFrame());
        }
        // A tick within the same frame sends nothing.
        rig.tick(1);
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
        // Rewind stops at frame 0 and sends its pose; Play from there sends it
        // again before the clock ticks, and the first tick nothing.
        rig.w->rewindClicked();
        QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), 0);
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
        QCOMPARE(rig.pty.read(24, 50), centreFrame());
        rig.w->playClicked();
        QCOMPARE(rig.pty.read(24), centreFrame());
        rig.tick(1);
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
    }

    void heldSliderIsRecordedAndSent()
    {
        Rig rig;
        rig.openPort();
        rig.w->playClicked();
        QCOMPARE(rig.pty.read(24), centreFrame());
        auto* s = rig.w->slider(2)->findChild<QSlider*>("slider");
        QVERIFY(s);
        rig.w->show();
        QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
        s->setValue(s->maximum());
        QByteArray expected = centreFrame();
        expected[8] = char(s->maximum());
        rig.tick(34);
        QCOMPARE(rig.pty.read(24), expected);
        rig.tick(33);
        QCOMPARE(rig.pty.read(24), expected);
        QTest::mouseRelease(s, Qt::LeftButton, {}, s->rect().center());
    }

    void scrubWithoutSound_data()
    {
        QTest::addColumn<int>("maxframe");
        QTest::addColumn<int>("cursorMs");
        QTest::addColumn<int>("frame");
        QTest::newRow("half way") << 300 << 500 << 150;
        QTest::newRow("start") << 300 << 0 << 0;
        QTest::newRow("half frame rounds to even") << 1 << 500 << 0;
        QTest::newRow("one and a half rounds to even") << 3 << 500 << 2;
    }

    void scrubWithoutSound()
    {
        QFETCH(int, maxframe);
        QFETCH(int, cursorMs);
        QFETCH(int, frame);
        Rig rig;
        rig.openPort();
        rig.w->slider(1)->setMaxframe(maxframe);
        rig.w->graphWindow()->setcCurrentTimeInMilliseconds(cursorMs);
        QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), frame);
        QCOMPARE(rig.pty.read(24), centreFrame()); // one message for the frame under the cursor
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
    }

    void frameErrorIsReportedAndNothingWritten()
    {
        Rig rig;
        rig.openPort();
        // A range beyond a byte: the position cannot go on the wire.
        rig.w->slider(3)->setMaxValue(300);
        rig.w->playClicked();
        QCOMPARE(rig.pty.read(24), centreFrame());
        rig.w->slider(3)->setPosition(300);
        rig.tick(34);
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QCOMPARE(rig.dialogs.messages[0].title, QStringLiteral("SMPTE Error"));
        QCOMPARE(rig.dialogs.messages[0].text,
                 QStringLiteral("There was an error with SMPTE frame change.\r5 Invalid procedure call or argument"));
        QCOMPARE(rig.dialogs.messages[0].icon, mk::MessageIcon::Exclamation);
        QCOMPARE(rig.pty.read(1, 50), QByteArray());
        QVERIFY(rig.w->SMPTEtimer()->isItRunning());
        // Once the servo is back in range the next frame goes out as usual.
        rig.w->slider(3)->setPosition(128);
        rig.tick(34);
        QCOMPARE(rig.pty.read(24), centreFrame());
    }

    // Waiting to repeat: Space stops the countdown, a second Space plays.
    void spaceDuringTheCountdown()
    {
        Rig rig;
        rig.w->show();
        rig.w->countdownTimer()->setEnabled(true);
        rig.w->onSoundHasStopped();
        QVERIFY(rig.w->countdownTimer()->isItRunning());
        QTest::keyClick(rig.w.get(), Qt::Key_Space);
        QVERIFY(!rig.w->countdownTimer()->isItRunning());
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
        QTest::keyClick(rig.w.get(), Qt::Key_Space);
        QVERIFY(rig.w->SMPTEtimer()->isItRunning());
    }

    // Space (with Shift or Ctrl too) starts and stops the show from any
    // control but a servo's name, which takes it as a blank. The countdown's
    // seconds box takes no blank.
    void spaceWhereverTheFocus_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("transport");
        QTest::addColumn<QString>("text"); // of the focused box after the second Space
        const int shift = int(Qt::ShiftModifier), ctrl = int(Qt::ControlModifier);
        QTest::newRow("seconds box") << "Text1" << 0 << true << "12";
        QTest::newRow("seconds box, Shift") << "Text1" << shift << true << "12";
        QTest::newRow("slider") << "slider" << 0 << true << "";
        QTest::newRow("slider, Ctrl") << "slider" << ctrl << true << "";
        QTest::newRow("slider, Ctrl+Shift") << "slider" << (ctrl | shift) << true << "";
        QTest::newRow("slider, Alt") << "slider" << int(Qt::AltModifier) << false << "";
        QTest::newRow("servo name") << "theServoName" << 0 << false << "Jaw  ";
        QTest::newRow("servo name, Shift") << "theServoName" << shift << false << "Jaw  ";
    }

    void spaceWhereverTheFocus()
    {
        QFETCH(QString, focus);
        QFETCH(int, modifiers);
        QFETCH(bool, transport);
        Rig rig;
        rig.w->show();
        QWidget* target = focus == "Text1" ? rig.w->countdownTimer()->findChild<QWidget*>(focus)
                                           : rig.w->slider(0)->findChild<QWidget*>(focus);
        QVERIFY(target);
        auto* box = qobject_cast<QLineEdit*>(target);
        if (box) {
            box->setText(focus == "Text1" ? "12" : "Jaw");
            box->setCursorPosition(box->text().size());
        }
        target->setFocus();
        const auto mods = Qt::KeyboardModifiers(modifiers);
        QTest::keyClick(target, Qt::Key_Space, mods);
        QCOMPARE(rig.w->SMPTEtimer()->isItRunning(), transport);
        QTest::keyClick(target, Qt::Key_Space, mods);
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
        if (box)
            QTEST(box->text(), "text");
    }

    // Through the real menu items: choosing the port in use again reopens it
    // and keeps its check mark, and frames go on flowing.
    void portsMenuKeepsCheckMark()
    {
        Rig rig;
        QAction* com1 = rig.w->menuItem("selectCOM1");
        for (int k = 0; k < 3; ++k) {
            com1->trigger();
            QVERIFY(com1->isChecked());
            QVERIFY(rig.w->MSComm()->PortOpen());
            rig.w->onFrameChange();
            QCOMPARE(rig.pty.read(24), centreFrame());
        }
        QVERIFY(rig.dialogs.messages.isEmpty());
    }

    // The frames run on the show engine's thread: with the window's thread
    // blocked for half a second mid-show, frame messages keep reaching the
    // line, and a held slider goes on recording every frame.
    void showKeepsTimeWhileTheWindowIsBlocked()
    {
        mk::test::WindowRig rig;
        PseudoTerminal pty;
        QStandardPaths::setTestModeEnabled(true);
        mainForm w(mk::Services{mk::systemTicks(), rig.joystick, rig.dialogs, rig.sound, {pty.slavePath(), "", "", ""}});
        w.show();
        w.ports().selectPort(1);
        QVERIFY(w.MSComm()->PortOpen());
        std::atomic<qint64> received{0};
        std::atomic<bool> reading{true};
        std::thread reader([&] {
            while (reading)
                received += pty.read(1 << 16, 20, false).size();
        });
        auto* s = w.slider(2)->findChild<QSlider*>("slider");
        w.playClicked();
        QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
        s->setValue(s->maximum());
        QTest::qWait(100);
        // Set-up changed mid-show, as the Setup window and the Active boxes do.
        w.slider(4)->setPlaybackEnabled(false);
        w.slider(5)->setMaxValue(200);
        w.slider(5)->setIsReversed(true);
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

    void unpluggedPortDuringPlay()
    {
        Rig rig;
        rig.openPort();
        rig.w->playClicked();
        QCOMPARE(rig.pty.read(24), centreFrame());
        rig.tick(34);
        QCOMPARE(rig.pty.read(24).size(), 24);
        rig.pty.closeMaster();
        rig.tick(34); // a write into the void
        QVERIFY(QTest::qWaitFor([&] { return !rig.w->MSComm()->PortOpen(); }, 2000));
        QTest::qWait(100);
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QCOMPARE(rig.dialogs.messages[0].title, QStringLiteral("Serial Port Error"));
        QVERIFY(!rig.w->menuItem("selectCOM1")->isChecked());
        // Playback and recording go on.
        for (int k = 0; k < 5; ++k)
            rig.tick(34);
        QVERIFY(rig.w->SMPTEtimer()->isItRunning());
        QCOMPARE(rig.dialogs.messages.size(), 1);
    }

    void quitPrompt_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Cancel") << true << int(mk::MessageAnswer::Cancel) << false;
        QTest::newRow("No") << true << int(mk::MessageAnswer::No) << true;
        QTest::newRow("Yes, save cancelled") << true << int(mk::MessageAnswer::Yes) << false;
        QTest::newRow("nothing changed: no question") << false << int(mk::MessageAnswer::Cancel) << true;
    }

    void quitPrompt()
    {
        QFETCH(bool, changed);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        Rig rig;
        rig.w->show();
        if (changed)
            rig.w->countdownTimer()->setDuration(4);
        rig.w->playClicked();
        rig.dialogs.answers << mk::MessageAnswer(answer);
        rig.w->menuItem("fileQuit")->trigger();
        QCOMPARE(rig.w->isVisible(), !closes);
        if (!changed) {
            QVERIFY(rig.dialogs.messages.isEmpty());
            return;
        }
        QCOMPARE(rig.dialogs.messages.at(0).text, QStringLiteral("Save before quitting?"));
        QCOMPARE(rig.dialogs.messages.at(0).title, QStringLiteral("Quit MarionetteKit"));
        QCOMPARE(rig.dialogs.messages.at(0).buttons, mk::MessageButtons::YesNoCancel);
        // Cancel leaves play going.
        if (!closes)
            QVERIFY(rig.w->SMPTEtimer()->isItRunning());

        // A close that does not come from the close box (the program's or the
        // session's own) ends without asking.
        Rig other;
        other.w->show();
        other.w->close();
        QVERIFY(other.dialogs.messages.isEmpty());
        QVERIFY(!other.w->isVisible());
    }

    void splashShowsMainWindowWhenTimerFires()
    {
        QPointer<QWidget> main;
        QPointer<splashScreen> splash = new splashScreen([&] { return main = new QWidget; });
        splash->show();
        QCOMPARE(splash->Timer1()->interval(), 5000);
        QVERIFY(splash->Timer1()->isActive());
        QVERIFY(!main);
        splash->Timer1()->start(0);
        QVERIFY(QTest::qWaitFor([&] { return !splash; }, 2000));
        QVERIFY(main && main->isVisible());
        delete main;
    }

    void aboutBoxShowsItAllAndCloses()
    {
        // A font wider than the one the logo was drawn for.
        const QFont font = QApplication::font();
        QFont wide = font;
        wide.setLetterSpacing(QFont::PercentageSpacing, 150);
        QApplication::setFont(wide);
        const auto restore = qScopeGuard([&] { QApplication::setFont(font); });
        Rig rig;
        rig.trigger("aboutMarionetteKit");
        auto* box = rig.w->findChild<QDialog*>("about");
        auto* buttons = box->findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        const QImage logo = box->findChild<QLabel*>("logo")->pixmap().toImage();
        // Nothing of the logo touches the picture's right edge, where it would be cut.
        for (int y = 0; y < logo.height(); ++y)
            QCOMPARE(qAlpha(logo.pixel(logo.width() - 1, y)), 0);
        QVERIFY(box->isVisible() && box->width() >= logo.width());
        buttons->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!box->isVisible());
    }

    void progressCancelHides()
    {
        Rig rig;
        convertAudio* dlg = rig.w->convertAudio();
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Converting for CD playback"));
        QCOMPARE(dlg->Command1()->text(), QStringLiteral("Cancel"));
        QCOMPARE(dlg->percentLabel()->text(), QStringLiteral("0.00%"));
        dlg->show();
        QTest::mouseClick(dlg->Command1(), Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(rig.w->convertAudio(), dlg); // hidden, not unloaded
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("splash");
        QTest::addColumn<int>("port");
        QTest::newRow("plain") << QStringList{} << true << 0 << true << 0;
        QTest::newRow("kiosk") << QStringList{"--no-splash", "--port", "3"} << true << 0 << false << 3;
        QTest::newRow("port out of range") << QStringList{"--port", "5"} << false << 2 << true << 0;
        QTest::newRow("port not a number") << QStringList{"--port", "x"} << false << 2 << true << 0;
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << true << 0;
        QTest::newRow("version") << QStringList{"--version"} << false << 0 << true << 0;
        QTest::newRow("unknown") << QStringList{"--bogus"} << false << 2 << true << 0;
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, runs);
        QFETCH(int, exitCode);
        QFETCH(bool, splash);
        QFETCH(int, port);
        QString out, err;
        int code = -1;
        const auto parsed = mk::parseCommandLine(QStringList{"marionettekit"} + args, out, err, code);
        QCOMPARE(bool(parsed), runs);
        QCOMPARE(code, exitCode);
        if (parsed) {
            QCOMPARE(parsed->splash, splash);
            QCOMPARE(parsed->port, port);
        } else {
            QVERIFY(!(out + err).isEmpty());
        }
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
