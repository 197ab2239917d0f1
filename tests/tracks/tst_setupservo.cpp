// The servo set-up dialog with real widgets, offscreen: needle drags through
// mouse events on the picture, the scroll bars' snap-back, Reverse swapping
// the bars, the fill order of a track's setup button, and the preview
// commands read from a pseudo-terminal.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <memory>
#include <vector>

#include "link/MSComm.h"
#include "platform/Joystick.h"
#include "support/PseudoTerminal.h"
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
    std::vector<std::unique_ptr<NewSlider>> tracks;
    PseudoTerminal pty;
    MSComm comm;
    std::unique_ptr<SetupServo> dialog;

    Rig()
    {
        for (int i = 0; i < 8; ++i) {
            tracks.push_back(std::make_unique<NewSlider>(joystick));
            tracks.back()->setWhichservo(qint16(i));
        }
        comm.setDevicePaths({pty.slavePath()});
        dialog = std::make_unique<SetupServo>(
            [this](int i) { return i >= 0 && i < int(tracks.size()) ? tracks[i].get() : nullptr; }, &comm);
        dialog->show();
    }
    NewSlider& track(int i) { return *tracks.at(i); }
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
    void designValues()
    {
        Rig rig;
        SetupServo& d = *rig.dialog;
        QCOMPARE(d.windowTitle(), QStringLiteral("Setup"));
        QCOMPARE(d.findChild<QLabel*>("Label3")->text(), QStringLiteral("Servo Number 0"));
        QCOMPARE(d.customName()->text(), QStringLiteral("ServoX"));
        for (QScrollBar* bar : {d.minVal(), d.maxVal()}) {
            QCOMPARE(bar->minimum(), 1);
            QCOMPARE(bar->maximum(), 255);
            QCOMPARE(bar->pageStep(), 20);
            QCOMPARE(bar->value(), 128);
        }
        QCOMPARE(d.minVal()->y(), 88);
        QCOMPARE(d.maxVal()->y(), 152);
        QCOMPARE(d.servoPic()->size(), QSize(105, 181));
        QStringList captions;
        for (const char* name : {"Label2", "Min", "Label1"})
            captions << d.findChild<QLabel*>(name)->text();
        captions << d.reverse()->text() << d.useJoystick()->text();
        for (int i = 0; i < 4; ++i)
            captions << d.joyChannel(i)->text();
        QCOMPARE(captions, (QStringList{"Name:", "Minimum", "Maximum", "Reverse", "Use Joystick", "Channel 1",
                                        "Channel 2", "Channel 3", "Channel 4"}));
    }

    // Press at one point, drag to another: which needle moves and where the
    // scroll bars and the track end up (track range 100..200 before).
    void needleDrag_data()
    {
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<int>("minVal");
        QTest::addColumn<int>("maxVal");
        QTest::addColumn<int>("trackMin");
        QTest::addColumn<int>("trackMax");
        QTest::newRow("min to (10,134)") << QPointF(10, 134) << QPointF(10, 134) << 2 << 200 << 2 << 200;
        QTest::newRow("min to (30,170)") << QPointF(30, 170) << QPointF(30, 170) << 82 << 200 << 82 << 200;
        QTest::newRow("max to (80,160)") << QPointF(80, 160) << QPointF(80, 160) << 100 << 191 << 100 << 191;
        QTest::newRow("max to (96,133.5)") << QPointF(96, 133.5) << QPointF(96, 133.5) << 100 << 254 << 100 << 254;
        QTest::newRow("max above the shaft") << QPointF(80, 100) << QPointF(80, 100) << 100 << 254 << 100 << 254;
        QTest::newRow("min below the shaft") << QPointF(53, 170) << QPointF(53, 170) << 128 << 200 << 128 << 200;
        // 255 for the minimum is pulled down to the maximum, which the track
        // refuses: it keeps its minimum.
        QTest::newRow("min dragged above the shaft") << QPointF(30, 170) << QPointF(80, 100) << 200 << 200 << 100
                                                     << 200;
        QTest::newRow("max dragged far left") << QPointF(80, 160) << QPointF(10, 134) << 100 << 100 << 100 << 200;
    }
    void needleDrag()
    {
        QFETCH(QPointF, press);
        QFETCH(QPointF, to);
        QFETCH(int, minVal);
        QFETCH(int, maxVal);
        QFETCH(int, trackMin);
        QFETCH(int, trackMax);
        Rig rig;
        rig.setUp(4, 100, 200);
        rig.mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
        // The press alone picks the needle; only moving it changes anything.
        QCOMPARE(rig.dialog->minVal()->value(), 100);
        QCOMPARE(rig.dialog->maxVal()->value(), 200);
        rig.mouse(QEvent::MouseMove, to, Qt::LeftButton);
        rig.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
        QCOMPARE(rig.dialog->minVal()->value(), minVal);
        QCOMPARE(rig.dialog->maxVal()->value(), maxVal);
        QCOMPARE(int(rig.track(4).minValue()), trackMin);
        QCOMPARE(int(rig.track(4).maxValue()), trackMax);
        // After the release, moving the mouse drags nothing.
        rig.mouse(QEvent::MouseMove, QPointF(53, 170), Qt::NoButton);
        QCOMPARE(rig.dialog->maxVal()->value(), maxVal);
    }

    void dragThroughTheWindowSystem()
    {
        Rig rig;
        rig.setUp(2, 100, 200);
        QVERIFY(QTest::qWaitForWindowExposed(rig.dialog.get()));
        QWidget* pic = rig.dialog->servoPic();
        QTest::mousePress(pic, Qt::LeftButton, {}, QPoint(80, 170));
        QTest::mouseMove(pic, QPoint(80, 160));
        QTest::mouseRelease(pic, Qt::LeftButton, {}, QPoint(80, 160));
        QCOMPARE(rig.dialog->maxVal()->value(), 191);
        QCOMPARE(int(rig.track(2).maxValue()), 191);
    }

    void barsSnapBackAndSwap()
    {
        Rig rig;
        rig.setUp(1, 100, 200);
        SetupServo& d = *rig.dialog;
        // The maximum below the minimum snaps back to it; the track keeps its
        // maximum, since equal ends are refused.
        d.maxVal()->setValue(50);
        QCOMPARE(d.maxVal()->value(), 100);
        QCOMPARE(int(rig.track(1).maxValue()), 200);
        d.minVal()->setValue(220);
        QCOMPARE(d.minVal()->value(), 100);
        d.maxVal()->setValue(150);
        d.minVal()->setValue(150);
        QCOMPARE(int(rig.track(1).minValue()), 100);
        QCOMPARE(int(rig.track(1).maxValue()), 150);

        // Reverse swaps the bars on screen, the labels stay.
        QTest::mouseClick(d.reverse(), Qt::LeftButton);
        QVERIFY(rig.track(1).isReversed());
        QCOMPARE(d.minVal()->y(), 152);
        QCOMPARE(d.maxVal()->y(), 88);
        QTest::mouseClick(d.reverse(), Qt::LeftButton);
        QVERIFY(!rig.track(1).isReversed());
        QCOMPARE(d.minVal()->y(), 88);
        QCOMPARE(d.maxVal()->y(), 152);

        // Keyboard on a bar: Page Up is a large step of 20.
        d.maxVal()->setFocus();
        QTest::keyClick(d.maxVal(), Qt::Key_PageUp);
        QCOMPARE(int(rig.track(1).maxValue()), 170);
    }

    void setupButtonFillsInOrder()
    {
        Rig rig;
        rig.track(6).setServoName("Jaw");
        rig.track(6).setIsReversed(true);
        rig.track(6).setWhichJoystickChannel(2);
        rig.track(6).setUsesJoystick(true);
        rig.setUp(6, 200, 250);
        SetupServo& d = *rig.dialog;
        QCOMPARE(d.findChild<QLabel*>("Label3")->text(), QStringLiteral("Servo Number 6"));
        QCOMPARE(d.customName()->text(), QStringLiteral("Jaw"));
        QVERIFY(d.reverse()->isChecked());
        QCOMPARE(d.maxVal()->y(), 88);
        QVERIFY(d.joyChannel(2)->isChecked());
        QVERIFY(d.useJoystick()->isChecked());

        // The next servo, with its maximum below the minimum still shown: the
        // maximum is set first, so it is lifted to 200 (in the track too),
        // then the minimum comes down. Nothing of servo 6 carries over.
        rig.setUp(3, 100, 150);
        QCOMPARE(d.whichservo(), 3);
        QCOMPARE(d.maxVal()->value(), 200);
        QCOMPARE(d.minVal()->value(), 100);
        QCOMPARE(int(rig.track(3).maxValue()), 200);
        QCOMPARE(int(rig.track(3).minValue()), 100);
        QCOMPARE(rig.track(3).servoName().trimmed(), QStringLiteral("Servo Name"));
        QVERIFY(!rig.track(3).isReversed());
        QVERIFY(!rig.track(3).usesJoystick());
        QCOMPARE(rig.track(3).track().visibleIndicator(), -1);
        QCOMPARE(d.maxVal()->y(), 152);
        QCOMPARE(int(rig.track(6).minValue()), 200);
        QCOMPARE(int(rig.track(6).maxValue()), 250);
        QVERIFY(rig.track(6).usesJoystick());

        // The user's edits go into servo 3 at once.
        d.customName()->selectAll();
        QTest::keyClicks(d.customName(), "Eyes left");
        QCOMPARE(rig.track(3).servoName().trimmed(), QStringLiteral("Eyes left"));
        QTest::mouseClick(d.useJoystick(), Qt::LeftButton);
        QCOMPARE(rig.track(3).track().visibleIndicator(), 0);
        QTest::mouseClick(d.joyChannel(1), Qt::LeftButton);
        QCOMPARE(int(rig.track(3).whichJoystickChannel()), 1);
        QCOMPARE(rig.track(3).track().visibleIndicator(), 1);

        // A channel without an option selects none; a servo number without a
        // track changes nothing and fails nowhere.
        rig.track(5).setWhichJoystickChannel(9);
        rig.track(5).setWhichservo(42);
        rig.dialog->fillFrom(rig.track(5));
        for (int i = 0; i < 4; ++i)
            QVERIFY(!d.joyChannel(i)->isChecked());
        d.maxVal()->setValue(140);
        QCOMPARE(int(rig.track(5).maxValue()), 129);
    }

    void resetForNewProject()
    {
        Rig rig;
        rig.track(2).setServoName("Jaw");
        rig.track(2).setIsReversed(true);
        rig.setUp(2, 100, 150);
        rig.dialog->reset();
        QCOMPARE(rig.dialog->customName()->text(), QStringLiteral("Servo Name"));
        QVERIFY(!rig.dialog->reverse()->isChecked());
        QCOMPARE(rig.dialog->minVal()->value(), 1);
        QCOMPARE(rig.dialog->maxVal()->value(), 255);
        QCOMPARE(rig.track(2).servoName().trimmed(), QStringLiteral("Servo Name"));
        QVERIFY(!rig.track(2).isReversed());
        QCOMPARE(int(rig.track(2).minValue()), 1);
        QCOMPARE(int(rig.track(2).maxValue()), 255);
    }

    void previewCommands()
    {
        Rig rig;
        rig.setUp(5, 100, 199);
        QCOMPARE(rig.pty.read(1, 50), QByteArray()); // port closed: nothing
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
        // Filling from a track previews its maximum, then its minimum.
        rig.setUp(0, 60, 90);
        QCOMPARE(rig.pty.read(6), command(0, 90) + command(0, 60));

        rig.comm.setPortOpen(false);
        d.maxVal()->setValue(100);
        d.minVal()->setValue(10);
        QCOMPARE(rig.pty.read(1, 100), QByteArray());
        QCOMPARE(int(rig.track(0).maxValue()), 100);

        // The other end gone: the link's failure handling closes the port,
        // the dialog goes on writing into the track.
        rig.openPort();
        rig.pty.closeMaster();
        for (int v = 20; v < 60; ++v)
            d.minVal()->setValue(v);
        QTRY_VERIFY(!rig.comm.PortOpen());
        d.minVal()->setValue(70);
        QCOMPARE(int(rig.track(0).minValue()), 70);
    }
};

QTEST_MAIN(tst_SetupServo)
#include "tst_setupservo.moc"
