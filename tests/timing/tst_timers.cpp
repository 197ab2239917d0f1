// The frame clock and the loop countdown, each driven by a hand-moved
// millisecond clock; frame arithmetic and time-code text.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "platform/RuntimeError.h"
#include "platform/TickSource.h"
#include "timing/SMTPtimer.h"
#include "timing/TimeCode.h"
#include "timing/countdownTimer.h"

namespace {

constexpr qint64 kT0 = 1'000'000;

/// A timer widget on a hand-moved clock, with a note of each signal it raised.
template <class W>
struct Rig {
    mk::ManualTickSource ticks{kT0};
    W timer{ticks};
    QStringList raised;
    QLabel* display;
    QTimer* armed;

    Rig(const char* displayName, const char* timerName)
        : display(timer.template findChild<QLabel*>(QLatin1String(displayName)))
        , armed(timer.template findChild<QTimer*>(QLatin1String(timerName)))
    {
    }
    void tickAt(qint64 ms)
    {
        ticks.set(kT0 + ms);
        timer.tick();
    }
    /// Running or not, its timer armed or not, the display, the signals raised.
    QString state() const
    {
        const char* running = timer.isItRunning() ? "on" : "off";
        return QStringLiteral("%1 %2 %3 [%4]").arg(running, armed->isActive() ? "armed" : "idle", display->text(),
                                                  raised.join(','));
    }
};

// Notes the frame each time it moves on.
struct Clock : Rig<SMTPtimer> {
    Clock() : Rig("SMPTEdisplay", "updateIt")
    {
        QObject::connect(&timer, &SMTPtimer::frameChange, [this] { raised << QString::number(timer.frameNumber()); });
    }
};

// Notes what the display showed each time the countdown ran out.
struct Countdown : Rig<countdownTimer> {
    QLineEdit* text = timer.findChild<QLineEdit*>(QStringLiteral("Text1"));
    QLabel* unit = timer.findChild<QLabel*>(QStringLiteral("unitLabel"));
    Countdown() : Rig("timeDisplay", "Timer1")
    {
        QObject::connect(&timer, &countdownTimer::countdownFinished, [this] { raised << display->text(); });
    }
};

} // namespace

class TimersTest : public QObject {
    Q_OBJECT
private slots:
    // Milliseconds or a time code written to a running clock: it stops there.
    void clockWrites_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<QString>("expected"); // frame, time code, milliseconds read back
        QTest::newRow("50 is 1.5, to even") << "50" << "2 00:00:00:02 67";
        QTest::newRow("150 is 4.5, to even") << "150" << "4 00:00:00:04 133";
        QTest::newRow("16") << "16" << "0 00:00:00:00 0";
        QTest::newRow("17") << "17" << "1 00:00:00:01 33";
        QTest::newRow("negative") << "-1000" << "-30 00:00:00:00 -1000";
        QTest::newRow("time code") << "01:00:00:00" << "108000 01:00:00:00 3600000";
        QTest::newRow("malformed time code changes nothing") << "1:2:3:4" << "0 00:00:00:00 0";
    }

    void clockWrites()
    {
        QFETCH(QString, write);
        Clock c;
        c.timer.startTimer();
        if (write.contains(QLatin1Char(':')))
            c.timer.setSMPTEframeNumber(write);
        else
            c.timer.setMilliseconds(write.toInt());
        const bool ignored = QByteArray(QTest::currentDataTag()).startsWith("malformed");
        QCOMPARE(c.state().left(8), ignored ? "on armed" : "off idle"); // not even the running state changes
        QTEST(QStringLiteral("%1 %2 %3").arg(c.timer.frameNumber()).arg(c.timer.SMPTEframeNumber())
                  .arg(c.timer.milliseconds()), "expected");
    }

    // Armed once a frame, for the millisecond the frame moves on; a frame is raised once, when it moves on, and a
    // late tick skips the frames in between; a frame write while running shows at once but the count goes on; a
    // stopped clock does not tick; a handler may stop or restart it; it stops at the last frame rather than wrap.
    void clockJourney()
    {
        Clock c;
        c.timer.startTimer();
        QCOMPARE(std::tuple(c.armed->isActive(), c.armed->isSingleShot(), c.armed->timerType(), c.armed->interval()),
                 std::tuple(true, true, Qt::PreciseTimer, 17));
        for (qint64 ms : {0, 8, 16, 17, 17})
            c.tickAt(ms);
        QCOMPARE(c.armed->interval(), 33); // frame 2 from 50 ms (the tie)
        c.tickAt(120);
        QCOMPARE(c.armed->interval(), 31); // frame 5 from 151 ms
        c.tickAt(130); // woken early: same frame, same boundary
        QCOMPARE(c.armed->interval(), 21);
        c.tickAt(1000);
        QCOMPARE(c.state(), "on armed 00:00:01:00 [1,4,30]");
        QCOMPARE(c.timer.milliseconds(), 0); // where it was started
        c.timer.setFrameNumber(500);
        QCOMPARE(c.display->text(), QStringLiteral("00:00:16:20"));
        c.tickAt(124167);
        QCOMPARE(c.timer.frameNumber(), 3725);
        c.timer.stopTimer();
        c.tickAt(200000);
        QCOMPARE(c.state(), "off idle 00:02:04:05 [1,4,30,3725]");
        c.timer.setFrameNumber(90); // not the frame last reported: due at once
        c.timer.startTimer();
        QCOMPARE(c.armed->interval(), 0);

        auto conn = connect(&c.timer, &SMTPtimer::frameChange, this, [&] { c.timer.stopTimer(); });
        c.timer.tick();
        QCOMPARE(c.state(), "off idle 00:00:03:00 [1,4,30,3725,90]"); // not re-armed after the handler's stop
        disconnect(conn);
        connect(&c.timer, &SMTPtimer::frameChange, this, [&] {
            if (c.timer.frameNumber() == 3) {
                c.timer.setFrameNumber(0);
                c.timer.startTimer();
            }
        });
        c.timer.setFrameNumber(2);
        c.timer.startTimer();
        c.ticks.advance(34); // frame 3: the handler restarts at 0, which is due at once
        c.timer.tick();
        QCOMPARE(c.armed->interval(), 0);
        c.timer.tick();
        QCOMPARE(c.raised, (QStringList{"1", "4", "30", "3725", "90", "3", "0"}));
        QCOMPARE(c.armed->interval(), 17);

        c.timer.setFrameNumber(2147483647);
        c.timer.startTimer();
        c.timer.tick();
        c.ticks.advance(100);
        c.timer.tick();
        QCOMPARE(std::tuple(c.timer.isItRunning(), c.timer.frameNumber()), std::tuple(false, 2147483647));
        QVERIFY_THROWS_EXCEPTION(mk::RuntimeError, c.timer.milliseconds());
    }

    void realClockRaisesFrames()
    {
        // The one test on the real clock and timer; loose on purpose.
        SMTPtimer timer(mk::systemTicks());
        QList<qint32> seen;
        connect(&timer, &SMTPtimer::frameChange, this, [&] { seen << timer.frameNumber(); });
        timer.startTimer();
        QTest::qWait(300);
        timer.stopTimer();
        QVERIFY2(seen.size() >= 5, qPrintable(QString::number(seen.size())));
        QVERIFY(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<>()) == seen.end()); // rising
    }

    // What is typed in the countdown's box, what it keeps, shows and counts.
    void typing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // text kept, unit, display, seconds counted
        QTest::newRow("over a day") << "100000" << "86400 seconds 24:00:00:00 32767";
        QTest::newRow("above 16 bits") << "32768" << "32768 seconds 09:06:08:00 32767";
        QTest::newRow("1") << "1" << "1 second 00:00:01:00 1";
        QTest::newRow("0") << "0" << "0 seconds 00:00:00:00 0";
        QTest::newRow("fraction, half to even") << "2.5" << "2.5 seconds 00:00:02:15 2";
        QTest::newRow("negative") << "-3" << "-3 seconds 00:00:00:00 -3";
        QTest::newRow("not a number keeps the display") << "abc" << "abc second 00:00:01:00 0";
    }

    void typing()
    {
        QFETCH(QString, typed);
        Countdown c;
        c.text->setText(QStringLiteral("1"));
        c.text->selectAll();
        QTest::keyClicks(c.text, typed);
        QTEST(QStringList({c.text->text(), c.unit->text(), c.display->text(), QString::number(c.timer.duration())})
                  .join(' '), "expected");
    }

    // Runs out more than 5 ms after the end, once, with the count at its end
    // in the handler and the whole pause shown after it; stops and restarts.
    void countdownJourney()
    {
        Countdown c;
        c.timer.setEnabled(true);
        c.timer.startTimer();
        c.tickAt(4000);
        QCOMPARE(c.state(), "on armed 00:00:06:00 []");
        for (qint64 at : {9990, 10000, 10005})
            c.tickAt(at);
        QCOMPARE(c.state(), "on armed 00:00:00:00 []");
        c.tickAt(10006);
        QCOMPARE(c.state(), "off idle 00:00:10:00 [00:00:00:00]");
        c.tickAt(20000);
        QCOMPARE(c.raised.size(), 1);

        // Editing while counting starts the count again, even with the same text.
        c.timer.startTimer();
        c.ticks.set(kT0 + 28000);
        c.timer.setDuration(10);
        c.tickAt(36000);
        QCOMPARE(c.state(), "on armed 00:00:02:00 [00:00:00:00]");
        c.timer.stopTimer();
        QCOMPARE(c.state(), "off idle 00:00:10:00 [00:00:00:00]");

        // The end time counts the exact fractional pause.
        c.text->setText(QStringLiteral("0.5"));
        c.timer.startTimer();
        c.tickAt(36505);
        QCOMPARE(c.raised.size(), 1);
        c.tickAt(36506);
        QCOMPARE(c.raised.size(), 2);

        // Not a number: nothing runs.
        c.text->setText(QStringLiteral("soon"));
        c.timer.startTimer();
        QCOMPARE(c.state().left(3), "off");
        c.timer.stopTimer();
        QCOMPARE(c.display->text(), QStringLiteral("00:00:00:00"));

        // The box: cleared, nothing runs; cleared while counting, the count still runs out once; only a click is
        // reported, and it clears the box, not the widget.
        int clicks = 0;
        connect(&c.timer, &countdownTimer::enabledClicked, this, [&] { ++clicks; });
        c.text->setText(QStringLiteral("10"));
        c.timer.setEnabled(false);
        c.timer.startTimer();
        QCOMPARE(c.state().left(8), "off idle");
        c.timer.setEnabled(true);
        c.timer.startTimer();
        c.timer.setEnabled(false);
        c.tickAt(36506 + 10006);
        QCOMPARE(c.raised.size(), 3);
        c.timer.setEnabled(true);
        QCOMPARE(clicks, 0);
        c.timer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.timer));
        QTest::mouseClick(c.timer.findChild<QCheckBox*>(QStringLiteral("Check1")), Qt::LeftButton);
        QCOMPARE(std::tuple(clicks, c.timer.enabled(), c.timer.QWidget::isEnabled()), std::tuple(1, false, true));
    }

    // Frames written as a time code and read back (-1: refused); one way only where the other does not hold.
    void timeCode_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("way"); // both, write, read
        QTest::newRow("zero") << qint64(0) << "00:00:00:00" << "both";
        QTest::newRow("one hour") << qint64(108000) << "01:00:00:00" << "both";
        QTest::newRow("hour less a frame") << qint64(107999) << "00:59:59:29" << "both";
        QTest::newRow("100 hours") << qint64(100) * 108000 + 1800 + 31 << "100:01:01:01" << "both";
        QTest::newRow("largest frame") << qint64(2147483647) << "19884:06:28:07" << "both";
        QTest::newRow("just before start") << qint64(-1) << "00:00:00:00" << "write";
        QTest::newRow("fields not checked against 60") << qint64(99 * 1800) << "00:99:00:00" << "read";
        QTest::newRow("empty") << qint64(-1) << "" << "read";
        QTest::newRow("letters") << qint64(-1) << "ab:cd:ef:gh" << "read";
        QTest::newRow("three fields") << qint64(-1) << "00:01:02" << "read";
        QTest::newRow("short field") << qint64(-1) << "00:1:02:03" << "read";
        QTest::newRow("sign") << qint64(-1) << "-1:00:00:00" << "read";
        QTest::newRow("too many frames") << qint64(-1) << "19885:00:00:00" << "read";
    }

    void timeCode()
    {
        QFETCH(qint64, frames);
        QFETCH(QString, text);
        QFETCH(QString, way);
        if (way != "read")
            QCOMPARE(mk::timeCodeText(frames), text);
        if (way != "write")
            QCOMPARE(qint64(mk::parseTimeCode(text).value_or(-1)), frames);
    }

    // Against what a clock polling every millisecond would see, walking back from the end: the next change
    // after e is e + 1 when the frame differs there, else the next change after e + 1. The range holds the
    // ties at 50 and 150 ms and the frames before 0.
    void nextFrameBoundaryAgreesWithPolling()
    {
        for (qint64 base : {qint64(-2000), qint64(71582788000 - 2000)}) {
            const qint64 end = base + 4000;
            qint64 next = mk::nextFrameBoundary(end);
            for (qint64 e = end - 1; e >= base; --e) {
                if (mk::roundedFrames(double(e + 1)) != mk::roundedFrames(double(e)))
                    next = e + 1;
                if (mk::nextFrameBoundary(e) != next)
                    QFAIL(qPrintable(QStringLiteral("at %1 expected %2").arg(e).arg(next)));
            }
        }
    }
};

QTEST_MAIN(TimersTest)
#include "tst_timers.moc"
