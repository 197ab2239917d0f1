// The servo set-up dialog with real widgets, offscreen, and its preview commands read from a pseudo-terminal.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "link/MSComm.h"
#include "platform/Joystick.h"
#include "support/PseudoTerminal.h"
#include "tracks/EightTracks.h"
#include "tracks/NewSlider.h"
#include "tracks/SetupServo.h"

using mk::test::PseudoTerminal;

namespace {

QByteArray command(int servo, int value)
{
    return QByteArray{"\xFF"} + char(servo) + char(value);
}

struct Rig {
    mk::FixedJoystick joystick;
    mk::test::EightTracks tracks{joystick};
    PseudoTerminal pty;
    MSComm comm;
    std::unique_ptr<SetupServo> dialog;

    Rig()
    {
        comm.setDevicePaths({pty.slavePath()});
        dialog = std::make_unique<SetupServo>(tracks.lookup(), &comm);
        dialog->show();
    }
    NewSlider& track(int i) { return tracks[i]; }
    /// Track i set to min..max, then its setup button.
    void setUp(int i, int min, int max)
    {
        track(i).setMaxValue(qint16(max));
        track(i).setMinValue(qint16(min));
        track(i).setMaxValue(qint16(max));
        dialog->fillFrom(track(i));
    }
    void openPort()
    {
        comm.setPortOpen(true);
        QVERIFY(comm.PortOpen());
    }
    /// A mouse event on the picture at a point in its own pixels.
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
    {
        QWidget* pic = dialog->servoPic();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, pic->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(pic, &e);
    }
};

} // namespace

class tst_SetupServo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Press at one point, drag to another: which needle moves and where the
    // scroll bars and the track end up (track range 100..200 before). The angles themselves are tst_dialogmath's.
    void needleDrag_data()
    {
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QList<int>>("ends"); // the bars' minimum and maximum, then the track's
        QTest::newRow("min to (10,134)") << QPointF(10, 134) << QPointF(10, 134) << QList<int>{2, 200, 2, 200};
        QTest::newRow("max to (80,160)") << QPointF(80, 160) << QPointF(80, 160) << QList<int>{100, 191, 100, 191};
        QTest::newRow("max above the shaft") << QPointF(80, 100) << QPointF(80, 100) << QList<int>{100, 254, 100, 254};
        // 255 for the minimum is pulled down to the maximum, which the track refuses: it keeps its minimum.
        QTest::newRow("min above the shaft") << QPointF(30, 170) << QPointF(80, 100) << QList<int>{200, 200, 100, 200};
        QTest::newRow("max dragged far left") << QPointF(80, 160) << QPointF(10, 134) << QList<int>{100, 100, 100, 200};
    }
    void needleDrag()
    {
        QFETCH(QPointF, press);
        QFETCH(QPointF, to);
        QFETCH(QList<int>, ends);
        Rig rig;
        SetupServo& d = *rig.dialog;
        rig.setUp(4, 100, 200);
        rig.mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
        // The press alone picks the needle; only moving it changes anything.
        QCOMPARE(QList<int>({d.minVal()->value(), d.maxVal()->value()}), QList<int>({100, 200}));
        rig.mouse(QEvent::MouseMove, to, Qt::LeftButton);
        rig.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
        // After the release, moving the mouse drags nothing.
        rig.mouse(QEvent::MouseMove, QPointF(53, 170), Qt::NoButton);
        const NewSlider& t = rig.track(4);
        QCOMPARE(QList<int>({d.minVal()->value(), d.maxVal()->value(), t.minValue(), t.maxValue()}), ends);
    }

    // The design's texts and bars, the bars' rules, then set-ups from the tracks' buttons and from elsewhere.
    void designBarsAndSetUps()
    {
        Rig rig;
        SetupServo& d = *rig.dialog;
        QStringList texts{d.windowTitle(), d.customName()->text(), d.reverse()->text(), d.useJoystick()->text()};
        for (const char* name : {"Label3", "Label2", "Min", "Label1"})
            texts << d.findChild<QLabel*>(name)->text();
        for (int i = 0; i < 4; ++i)
            texts << d.joyChannel(i)->text();
        QCOMPARE(texts, (QStringList{"Setup", "ServoX", "Reverse", "Use Joystick", "Servo Number 0", "Name:",
                                     "Minimum", "Maximum", "Channel 1", "Channel 2", "Channel 3", "Channel 4"}));
        for (QScrollBar* b : {d.minVal(), d.maxVal()})
            QCOMPARE(QList<int>({b->minimum(), b->maximum(), b->pageStep(), b->value()}), QList({1, 255, 20, 128}));

        rig.setUp(1, 100, 200);
        // Either bar past the other snaps back to it; equal ends show, but the track refuses them and keeps its ends.
        d.maxVal()->setValue(50);
        d.minVal()->setValue(220);
        QCOMPARE(QList<int>({d.minVal()->value(), d.maxVal()->value()}), QList<int>({100, 100}));
        d.maxVal()->setValue(150);
        d.minVal()->setValue(150);
        QCOMPARE(QList<int>({rig.track(1).minValue(), rig.track(1).maxValue()}), QList<int>({100, 150}));

        // Reverse swaps the bars on screen (the labels stay), and back.
        for (bool reversed : {true, false}) {
            QTest::mouseClick(d.reverse(), Qt::LeftButton);
            QCOMPARE(rig.track(1).isReversed(), reversed);
            QCOMPARE(QList<int>({d.minVal()->y(), d.maxVal()->y()}),
                     reversed ? QList<int>({152, 88}) : QList<int>({88, 152}));
        }

        // Keys step the way the bar shows: Page Up is 20 up.
        QTest::keyClick(d.maxVal(), Qt::Key_PageUp);
        QCOMPARE(int(rig.track(1).maxValue()), 170);
        // The numbers beside the bars say where they stand.
        QCOMPARE(d.findChild<QLabel*>("minText")->text() + "/" + d.findChild<QLabel*>("maxText")->text(),
                 QStringLiteral("150/170"));

        // A track's set-up in one line: name, range, reversed, channel and the indicator shown (-1: none).
        auto setUpOf = [&](int i) {
            NewSlider& t = rig.track(i);
            return QString::asprintf("%s %d..%d %s ch%d ind%d", qPrintable(t.servoName().trimmed()), t.minValue(),
                                     t.maxValue(), t.isReversed() ? "rev" : "fwd", t.whichJoystickChannel(),
                                     t.track().visibleIndicator());
        };
        rig.track(6).setServoName("Jaw");
        rig.track(6).setIsReversed(true);
        rig.track(6).setWhichJoystickChannel(2);
        rig.track(6).setUsesJoystick(true);
        rig.setUp(6, 200, 250);
        QCOMPARE(d.findChild<QLabel*>("Label3")->text() + "|" + d.customName()->text(), "Servo Number 6|Jaw");
        QVERIFY(d.reverse()->isChecked() && d.joyChannel(2)->isChecked() && d.useJoystick()->isChecked());

        // The next servo, with its maximum below the minimum still shown:
        // filling changes nothing of it, and nothing of servo 6 carries over.
        rig.setUp(3, 100, 150);
        QCOMPARE(QList<int>({d.whichservo(), d.minVal()->value(), d.maxVal()->value()}), QList<int>({3, 100, 150}));
        QCOMPARE(setUpOf(3), QStringLiteral("Servo Name 100..150 fwd ch0 ind-1"));
        QCOMPARE(setUpOf(6), QStringLiteral("Jaw 200..250 rev ch2 ind2"));

        // The user's edits go into servo 3 at once.
        d.customName()->selectAll();
        QTest::keyClicks(d.customName(), "Eyes");
        QTest::mouseClick(d.useJoystick(), Qt::LeftButton);
        QTest::mouseClick(d.joyChannel(1), Qt::LeftButton);
        QCOMPARE(setUpOf(3), QStringLiteral("Eyes 100..150 fwd ch1 ind1"));

        // A channel without an option selects none; a servo number without a track changes nothing and fails nowhere.
        rig.track(5).setWhichJoystickChannel(9);
        rig.track(5).setWhichservo(42);
        rig.dialog->fillFrom(rig.track(5));
        for (int i = 0; i < 4; ++i)
            QVERIFY(!d.joyChannel(i)->isChecked());
        d.maxVal()->setValue(140);
        QCOMPARE(int(rig.track(5).maxValue()), 129);

        rig.setUp(2, 200, 250);
        rig.openPort();
        // Servo 2 changed by another command (a project opened, a new one, undo): the dialog shows it at once, writes
        // nothing back and moves no servo. A change of another servo leaves it alone.
        NewSlider& t = rig.track(2);
        t.setMinValue(100);
        t.setIsReversed(true);
        t.setServoName("A name as long as the box allows");
        t.setWhichJoystickChannel(3);
        t.setUsesJoystick(true);
        rig.track(4).setMaxValue(240);
        QCOMPARE(QList<int>({d.minVal()->value(), d.maxVal()->value(), d.minVal()->y()}), QList<int>({100, 250, 152}));
        QVERIFY(d.reverse()->isChecked() && d.joyChannel(3)->isChecked() && d.useJoystick()->isChecked());
        QCOMPARE(d.customName()->text(), t.track().nameBoxText());
        QCOMPARE(d.customName()->cursorPosition(), 0);
        QCOMPARE(rig.pty.read(1, 100), QByteArray());
        QCOMPARE(QList<int>({t.minValue(), t.maxValue()}), QList<int>({100, 250}));
        // The user's next step starts from what is shown.
        QTest::keyClick(d.minVal(), Qt::Key_Right);
        QCOMPARE(rig.pty.read(3), command(2, 101));
        QCOMPARE(int(t.minValue()), 101);
    }

    void previewCommands()
    {
        Rig rig;
        rig.setUp(5, 100, 199);
        rig.openPort();
        SetupServo& d = *rig.dialog;
        d.maxVal()->setFocus();
        QTest::keyClick(d.maxVal(), Qt::Key_Right);
        QCOMPARE(rig.pty.read(3), command(5, 200));
        // A snap-back sends the value the bar ends at, once; the value goes
        // out as shown, even for a reversed servo and a value the track refuses.
        QTest::mouseClick(d.reverse(), Qt::LeftButton);
        d.minVal()->setValue(230);
        QCOMPARE(rig.pty.read(6, 200), command(5, 200));
        // A needle drag previews every step.
        rig.mouse(QEvent::MouseButtonPress, QPointF(30, 170), Qt::LeftButton);
        rig.mouse(QEvent::MouseMove, QPointF(30, 170), Qt::LeftButton);
        rig.mouse(QEvent::MouseMove, QPointF(10, 134), Qt::LeftButton);
        rig.mouse(QEvent::MouseButtonRelease, QPointF(10, 134), Qt::NoButton);
        QCOMPARE(rig.pty.read(6), command(5, 82) + command(5, 2));
        // Filling from a track previews its maximum, then its minimum, where they differ from what the window shows.
        rig.setUp(0, 60, 90);
        QCOMPARE(rig.pty.read(6), command(0, 90) + command(0, 60));
        // The window still showing a minimum of 150: filling it for servo 3
        // (127..129) leaves servo 3 as it is and previews its own ends.
        rig.setUp(7, 150, 200);
        QCOMPARE(rig.pty.read(6), command(7, 200) + command(7, 150));
        d.fillFrom(rig.track(3));
        QCOMPARE(rig.pty.read(6, 200), command(3, 129) + command(3, 127));
        QCOMPARE(QList<int>({rig.track(3).minValue(), rig.track(3).maxValue()}), QList<int>({127, 129}));

        // Port closed: nothing goes out, the track still takes the value.
        rig.comm.setPortOpen(false);
        d.minVal()->setValue(10);
        QCOMPARE(rig.pty.read(1, 100), QByteArray());
        QCOMPARE(int(rig.track(3).minValue()), 10);

        // The other end gone: the link's failure handling closes the port, the dialog goes on writing into the track.
        rig.openPort();
        rig.pty.closeMaster();
        for (int v = 20; v < 60; ++v)
            d.minVal()->setValue(v);
        QTRY_VERIFY(!rig.comm.PortOpen());
        d.minVal()->setValue(70);
        QCOMPARE(int(rig.track(3).minValue()), 70);
    }
};

QTEST_MAIN(tst_SetupServo)
#include "tst_setupservo.moc"
