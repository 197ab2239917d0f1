// The frame clock driven by a hand-moved millisecond clock.
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "platform/RuntimeError.h"
#include "platform/TickSource.h"
#include "timing/SMTPtimer.h"

namespace {

constexpr qint64 kT0 = 1'000'000;

struct Clock {
    mk::ManualTickSource ticks{kT0};
    SMTPtimer timer{ticks};
    QLabel* display = timer.findChild<QLabel*>(QStringLiteral("SMPTEdisplay"));
    QTimer* updateIt = timer.findChild<QTimer*>(QStringLiteral("updateIt"));
    QList<qint32> raised;

    Clock() { QObject::connect(&timer, &SMTPtimer::frameChange, [this] { raised << timer.frameNumber(); }); }
    void tickAt(qint64 ms) { ticks.set(kT0 + ms); timer.tick(); }
};

} // namespace

class SMTPtimerTest : public QObject {
    Q_OBJECT
private slots:
    void millisecondsWrite_data()
    {
        QTest::addColumn<qint32>("ms");
        QTest::addColumn<qint32>("frame");
        QTest::addColumn<QString>("timeCode");
        QTest::addColumn<qint32>("readBack");
        QTest::newRow("1000") << 1000 << 30 << "00:00:01:00" << 1000;
        QTest::newRow("50 is 1.5, to even") << 50 << 2 << "00:00:00:02" << 67;
        QTest::newRow("150 is 4.5, to even") << 150 << 4 << "00:00:00:04" << 133;
        QTest::newRow("16") << 16 << 0 << "00:00:00:00" << 0;
        QTest::newRow("17") << 17 << 1 << "00:00:00:01" << 33;
        QTest::newRow("negative") << -1000 << -30 << "00:00:00:00" << -1000;
    }

    void millisecondsWrite()
    {
        QFETCH(qint32, ms);
        QFETCH(qint32, frame);
        Clock c;
        c.timer.startTimer();
        c.timer.setMilliseconds(ms);
        QVERIFY(!c.timer.isItRunning());
        QVERIFY(!c.updateIt->isActive());
        QCOMPARE(c.timer.frameNumber(), frame);
        QTEST(c.timer.SMPTEframeNumber(), "timeCode");
        QTEST(c.timer.milliseconds(), "readBack");
    }

    // A frame is raised only when the frame moves on, once, and a late tick
    // skips the frames in between.
    void raisedFrames_data()
    {
        QTest::addColumn<qint32>("startMs");
        QTest::addColumn<QList<qint64>>("ticks");
        QTest::addColumn<QList<qint32>>("raised");
        QTest::addColumn<QString>("display");
        QTest::newRow("from 0: nothing until 17 ms, then once")
            << 0 << QList<qint64>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 17}
            << QList<qint32>{1} << "00:00:00:01";
        // Frame 30 was never reported, so the first tick raises it.
        QTest::newRow("late ticks skip frames") << 1000 << QList<qint64>{0, 20, 40, 200, 210, 1000}
                                                << QList<qint32>{30, 31, 36, 60} << "00:00:02:00";
    }

    void raisedFrames()
    {
        QFETCH(qint32, startMs);
        QFETCH(QList<qint64>, ticks);
        Clock c;
        c.timer.setMilliseconds(startMs);
        c.timer.startTimer();
        QVERIFY(c.timer.isItRunning());
        for (qint64 ms : ticks)
            c.tickAt(ms);
        QTEST(c.raised, "raised");
        QTEST(c.display->text(), "display");
        QCOMPARE(c.timer.milliseconds(), startMs); // where it was started
    }

    void stopAndFrameWrites()
    {
        Clock c;
        c.timer.startTimer();
        c.tickAt(1000);
        // A frame write while running shows at once but the count goes on.
        c.timer.setFrameNumber(500);
        QCOMPARE(c.display->text(), QStringLiteral("00:00:16:20"));
        c.tickAt(124167);
        QCOMPARE(c.timer.frameNumber(), 3725);
        c.timer.stopTimer();
        QVERIFY(!c.timer.isItRunning());
        QVERIFY(!c.updateIt->isActive());
        c.tickAt(200000); // a stopped clock's timer does not tick
        QCOMPARE(c.timer.frameNumber(), 3725);
        QCOMPARE(c.display->text(), QStringLiteral("00:02:04:05"));
    }

    void timerIsArmedForTheNextFrame()
    {
        Clock c;
        c.timer.startTimer();
        QVERIFY(c.updateIt->isActive() && c.updateIt->isSingleShot());
        QCOMPARE(c.updateIt->timerType(), Qt::PreciseTimer);
        QCOMPARE(c.updateIt->interval(), 17);
        c.tickAt(17);
        QCOMPARE(c.updateIt->interval(), 33); // frame 2 from 50 ms (the tie)
        c.tickAt(120);
        QCOMPARE(c.updateIt->interval(), 31); // frame 5 from 151 ms
        c.tickAt(130); // woken early: same frame, same boundary
        QCOMPARE(c.updateIt->interval(), 21);
        c.timer.stopTimer();
        c.timer.setFrameNumber(90); // not the frame last reported: due at once
        c.timer.startTimer();
        QCOMPARE(c.updateIt->interval(), 0);
    }

    void handlerMayStopOrRestart()
    {
        Clock c;
        auto conn = connect(&c.timer, &SMTPtimer::frameChange, this, [&] { c.timer.stopTimer(); });
        c.timer.startTimer();
        c.tickAt(40);
        QVERIFY(!c.timer.isItRunning());
        QVERIFY(!c.updateIt->isActive()); // not re-armed after the handler's stop
        disconnect(conn);

        connect(&c.timer, &SMTPtimer::frameChange, this, [&] {
            if (c.timer.frameNumber() == 3) {
                c.timer.setFrameNumber(0);
                c.timer.startTimer();
            }
        });
        c.timer.setFrameNumber(2);
        c.timer.startTimer();
        c.tickAt(74); // frame 3: the handler restarts at 0, which is due at once
        QCOMPARE(c.updateIt->interval(), 0);
        c.timer.tick();
        QCOMPARE(c.raised, (QList<qint32>{1, 3, 0}));
        QCOMPARE(c.updateIt->interval(), 17);
    }

    void smpteWrite()
    {
        Clock c;
        c.timer.startTimer();
        c.timer.setSMPTEframeNumber(QStringLiteral("01:00:00:00"));
        QVERIFY(!c.timer.isItRunning());
        QCOMPARE(c.timer.frameNumber(), 108000);
        // Malformed text changes nothing, not even the running state.
        c.timer.startTimer();
        c.timer.setSMPTEframeNumber(QStringLiteral("1:2:3:4"));
        QVERIFY(c.timer.isItRunning());
        QCOMPARE(c.timer.SMPTEframeNumber(), QStringLiteral("01:00:00:00"));
    }

    void clockStopsAtTheLastFrame()
    {
        Clock c;
        c.timer.setFrameNumber(2147483647);
        c.timer.startTimer();
        c.timer.tick();
        c.ticks.advance(100);
        c.timer.tick();
        QVERIFY(!c.timer.isItRunning());
        QCOMPARE(c.timer.frameNumber(), 2147483647);
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
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i] > seen[i - 1]);
    }
};

QTEST_MAIN(SMTPtimerTest)
#include "tst_smtptimer.moc"
