// The show engine on its own thread against a pseudo-terminal, and its clock,
// which follows a sound device whose crystal runs fast or slow.
#include <QTest>
#include <QThread>
#include <atomic>
#include <cmath>
#include <thread>
#include <tuple>

#include "engine/EngineClock.h"
#include "engine/PortWriter.h"
#include "engine/ShowEngine.h"
#include "engine/TrackFrames.h"
#include "platform/RuntimeError.h"
#include "support/PseudoTerminal.h"
#include "tracks/EightTracks.h"

using namespace mk::engine;

namespace {

/// Collects the line on a thread of its own, as a controller would.
struct Line {
    mk::test::PseudoTerminal pty;
    std::atomic<bool> on{true};
    QByteArray bytes;
    int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    std::thread reader{[this] {
        while (on)
            bytes += pty.read(1 << 16, 20, false);
    }};
    /// What arrived, once the last writes have had 100 ms to come through.
    QByteArray stop()
    {
        if (reader.joinable()) {
            QThread::msleep(100);
            on = false;
            reader.join();
        }
        return bytes;
    }
    ~Line()
    {
        stop();
        ::close(fd);
    }
};

/// Fails, or takes 100 ms over each frame as a stalled port would, noting the frames asked for.
struct Slow : FrameWork {
    bool fails = false;
    QList<std::int32_t> asked;
    std::atomic<bool> busy{false};
    int frame(std::int32_t f, std::uint8_t*) override
    {
        if (fails)
            throw mk::RuntimeError::subscriptOutOfRange();
        busy = true;
        asked << f;
        QThread::msleep(100);
        busy = false;
        return 0;
    }
    void apply(const Input&) override {}
};

/// Eight tracks framed for a line, and an engine writing to it.
struct Wired {
    mk::test::EightServoTracks show{10, 250};
    TrackFrames work;
    Line line;
    FdPortWriter port{line.fd};
    ShowEngine engine{work};
    explicit Wired(int tracks) : work(show.tracks, tracks) { engine.setPort(&port); }
};

/// The engine's next event within half a second: kind, frame, number and text (kind -1: none).
std::tuple<int, int, int, QString> nextEvent(ShowEngine& engine)
{
    std::optional<Event> e;
    for (int i = 0; i < 100 && !e; ++i, QThread::msleep(5))
        e = engine.nextEvent();
    if (!e)
        return {-1, 0, 0, QString()};
    return {int(e->kind), e->frame, e->number, QString(e->text.data())};
}

} // namespace

class ShowEngineTest : public QObject {
    Q_OBJECT
private slots:
    void framesKeepTimeWhileTheInterfaceIsBlocked()
    {
        Wired w(8);
        ShowEngine& engine = w.engine;
        engine.post(Input{.track = 2, .held = true, .value = 77});
        engine.start(0);
        QThread::msleep(700); // the interface thread, busy with something else
        // A preview in the middle of the show goes out whole, between frames.
        const std::uint8_t preview[3] = {255, 2, 200};
        for (int i = 0; i < 20; ++i) {
            engine.sendBytes(preview, 3);
            QThread::msleep(7);
        }
        QThread::msleep(150);
        engine.stopAndWait();
        const QByteArray wire = w.line.stop();
        const std::int32_t last = engine.frame();

        QCOMPARE(engine.framesSkipped(), 0u);
        QVERIFY2(last >= 25, qPrintable(QString::number(last)));
        // The line is frame messages (servos 0 to 7 in order, whole) with the preview commands only between them.
        QCOMPARE(wire.size() % 3, 0);
        int next = 0, previews = 0, frames = 0;
        for (int i = 0; i < wire.size(); i += 3) {
            QCOMPARE(quint8(wire[i]), quint8(255));
            const int servo = quint8(wire[i + 1]);
            if (servo == next) {
                next = (next + 1) % 8;
                frames += next == 0;
            } else {
                QVERIFY2(next == 0 && quint8(wire[i + 2]) == 200, qPrintable(QString("command %1").arg(i / 3)));
                ++previews;
            }
        }
        QCOMPARE(previews, 20);
        QCOMPARE(frames, last); // frame 0 is the one the clock last showed
        // The held slider recorded every frame, the blocked stretch included.
        for (std::int32_t f = 1; f <= last; ++f)
            QCOMPARE(w.show.tracks[2]->at(f), qint16(77));
    }

    // A frame that fails comes back as an event; an unplugged line is told once; a stop waits for the frame being
    // built; a clock that passes the last frame number while a frame is built stops there rather than wrap round.
    void slowAndFailingFrames()
    {
        Slow failing;
        failing.fails = true;
        ShowEngine engine(failing);
        engine.sendFrame(5);
        QCOMPARE(nextEvent(engine), std::tuple(int(Event::Kind::FrameError), 5, 9, QString("Subscript out of range")));

        // An unplugged line: the write fails, the engine lets go of the port and says so once.
        Wired w(1);
        w.line.stop();
        w.line.pty.closeMaster();
        w.engine.sendFrame(0);
        w.engine.sendFrame(1);
        QCOMPARE(std::get<0>(nextEvent(w.engine)), int(Event::Kind::PortFailed));
        QThread::msleep(20);
        QVERIFY(!w.engine.nextEvent());

        Slow slow;
        ShowEngine slowEngine(slow);
        slowEngine.start(0);
        QTRY_VERIFY(slow.busy);
        slowEngine.stopAndWait(); // returns only once the frame being built is done
        QVERIFY(!slow.busy);
        slow.asked.clear();
        slowEngine.start(std::numeric_limits<std::int32_t>::max() - 1);
        QTRY_VERIFY(!slowEngine.running());
        slowEngine.stopAndWait();
        QCOMPARE(slow.asked, QList<std::int32_t>{std::numeric_limits<std::int32_t>::max() - 1});
    }

    // Frame k begins at the first whole millisecond whose count of 100/3 ms frames rounds (halves to even) to k.
    void firstMillisecond_data()
    {
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("1: 16.67 ms") << qint64(1) << qint64(17);
        QTest::newRow("2: tie at 50 goes to even") << qint64(2) << qint64(50);
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

    // A simulated show of ten minutes: the device plays `ppm` fast or slow of the monotonic clock and is reported in
    // whole 256-sample buffers. Each frame must be reached exactly once, and the frame sent must never be more than
    // one from the frame being heard.
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
        std::int64_t last = 0, worst = 0;
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

QTEST_GUILESS_MAIN(ShowEngineTest)
#include "tst_showengine.moc"
