// The engine's clock: where frames begin, and how it follows a sound device
// whose crystal runs fast or slow without skipping or repeating a frame.
#include <QTest>
#include <cmath>

#include "engine/EngineClock.h"

using namespace mk::engine;

class EngineClockTest : public QObject {
    Q_OBJECT
private slots:
    // Frame k begins at the first whole millisecond whose count of 100/3 ms
    // frames rounds (halves to even) to k.
    void firstMillisecond_data()
    {
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("1: 16.67 ms") << qint64(1) << qint64(17);
        QTest::newRow("2: tie at 50 goes to even") << qint64(2) << qint64(50);
        QTest::newRow("3") << qint64(3) << qint64(84);
        QTest::newRow("5: tie at 150 stays at 4") << qint64(5) << qint64(151);
        QTest::newRow("300") << qint64(300) << qint64(9984);
        QTest::newRow("0 began before start") << qint64(0) << qint64(-16);
    }
    void firstMillisecond()
    {
        QFETCH(qint64, frame);
        QTEST(qint64(firstMsOfFrame(frame)), "ms");
        QFETCH(qint64, ms);
        QCOMPARE(qint64(frameAtMs(ms - 1)), frame - 1);
    }

    // A simulated show of ten minutes: the device plays `ppm` fast or slow of
    // the monotonic clock and is reported in whole 256-sample buffers. Each
    // frame must be reached exactly once, and the frame sent must never be
    // more than one from the frame being heard.
    void followsTheSound_data()
    {
        QTest::addColumn<double>("ppm");
        QTest::newRow("200 ppm fast") << 200.0;
        QTest::newRow("200 ppm slow") << -200.0;
        QTest::newRow("in step") << 0.0;
    }
    void followsTheSound()
    {
        QFETCH(double, ppm);
        const Nanos buffer = Nanos(256 * 1e9 / 44100);
        MediaClock clock;
        clock.start(0, 0);
        std::int64_t last = 0;
        std::int64_t worst = 0;
        for (Nanos now = 0; now < Nanos(600e9); now += 5'000'000) {
            const Nanos truth = Nanos(double(now) * (1 + ppm * 1e-6));
            clock.follow(now, truth - truth % buffer);
            const std::int64_t f = frameAtMs(clock.showTimeAt(now) / kNanosPerMs);
            QVERIFY2(f == last || f == last + 1, qPrintable(QString("frame %1 after %2").arg(f).arg(last)));
            last = f;
            worst = std::max<std::int64_t>(worst, std::llabs(f - frameAtMs(truth / kNanosPerMs)));
        }
        QVERIFY(worst <= 1);
        QVERIFY2(std::abs(clock.error()) < 2e6, qPrintable(QString::number(clock.error())));
    }
};

QTEST_GUILESS_MAIN(EngineClockTest)
#include "tst_engineclock.moc"
