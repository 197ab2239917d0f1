// The show engine on its own thread against a pseudo-terminal: frames keep
// their time while the interface thread is blocked, held sliders record
// without gaps, previews never land inside a frame message, and failures
// come back as events.
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "engine/PortWriter.h"
#include "engine/ShowEngine.h"
#include "engine/TrackFrames.h"
#include "platform/Joystick.h"
#include "platform/RuntimeError.h"
#include "support/PseudoTerminal.h"
#include "tracks/ServoTrack.h"

using namespace mk::engine;

namespace {

struct Show {
    mk::NoJoystick joystick;
    std::vector<std::unique_ptr<mk::ServoTrack>> owned;
    std::array<mk::ServoTrack*, 8> tracks{};
    Show()
    {
        for (int i = 0; i < 8; ++i) {
            owned.push_back(std::make_unique<mk::ServoTrack>(joystick));
            tracks[size_t(i)] = owned.back().get();
            tracks[size_t(i)]->setPlaybackEnabled(true);
            tracks[size_t(i)]->setRecordingEnabled(true);
            tracks[size_t(i)]->setMaxValue(250);
            tracks[size_t(i)]->setMinValue(10);
        }
    }
};

/// Collects the line on a thread of its own, as a controller would.
struct Line {
    mk::test::PseudoTerminal pty;
    std::atomic<bool> on{true};
    QByteArray bytes;
    std::thread reader;
    int fd = -1;
    Line()
    {
        fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        reader = std::thread([this] {
            while (on)
                bytes += pty.read(1 << 16, 20, false);
        });
    }
    QByteArray stop()
    {
        QThread::msleep(100);
        on = false;
        reader.join();
        return bytes;
    }
    ~Line()
    {
        if (reader.joinable()) {
            on = false;
            reader.join();
        }
        ::close(fd);
    }
};

/// Fails, or takes 100 ms over each frame as a stalled port would, noting
/// the frames asked for.
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

} // namespace

class ShowEngineTest : public QObject {
    Q_OBJECT
private slots:
    void framesKeepTimeWhileTheInterfaceIsBlocked()
    {
        Show show;
        TrackFrames work(show.tracks, 8);
        Line line;
        FdPortWriter port(line.fd);
        ShowEngine engine(work);
        engine.setPort(&port);
        Input hold;
        hold.track = 2;
        hold.held = true;
        hold.value = 77;
        engine.post(hold);
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
        const QByteArray wire = line.stop();
        const std::int32_t last = engine.frame();

        QCOMPARE(engine.framesSkipped(), 0u);
        QVERIFY2(last >= 25, qPrintable(QString::number(last)));
        // The line is frame messages (servos 0 to 7 in order, whole) with the
        // preview commands only between them.
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
            QCOMPARE(show.tracks[2]->at(f), qint16(77));
    }

    void failuresComeBackAsEvents()
    {
        Slow failing;
        failing.fails = true;
        ShowEngine engine(failing);
        engine.sendFrame(5);
        std::optional<Event> e;
        for (int i = 0; i < 100 && !e; ++i, QThread::msleep(5))
            e = engine.nextEvent();
        QVERIFY(e);
        QCOMPARE(int(e->kind), int(Event::Kind::FrameError));
        QCOMPARE(e->frame, 5);
        QCOMPARE(e->number, 9);
        QCOMPARE(QString(e->text.data()), QString("Subscript out of range"));

        // An unplugged line: the write fails, the engine lets go of the port
        // and says so once.
        Show show;
        TrackFrames work(show.tracks, 1);
        Line line;
        FdPortWriter port(line.fd);
        ShowEngine second(work);
        second.setPort(&port);
        line.stop();
        line.pty.closeMaster();
        second.sendFrame(0);
        second.sendFrame(1);
        e.reset();
        for (int i = 0; i < 100 && !e; ++i, QThread::msleep(5))
            e = second.nextEvent();
        QVERIFY(e);
        QCOMPARE(int(e->kind), int(Event::Kind::PortFailed));
        QThread::msleep(20);
        QVERIFY(!second.nextEvent());
    }

    void slowFramesStopCleanly()
    {
        Slow slow;
        ShowEngine engine(slow);
        engine.start(0);
        QTRY_VERIFY(slow.busy);
        engine.stopAndWait(); // returns only once the frame being built is done
        QVERIFY(!slow.busy);
        // Frame numbers are 32-bit: a clock that passes the last one while a
        // frame is built stops there rather than wrap round.
        slow.asked.clear();
        engine.start(std::numeric_limits<std::int32_t>::max() - 1);
        QTRY_VERIFY(!engine.running());
        engine.stopAndWait();
        QCOMPARE(slow.asked, QList<std::int32_t>{std::numeric_limits<std::int32_t>::max() - 1});
    }
};

QTEST_GUILESS_MAIN(ShowEngineTest)
#include "tst_showengine.moc"
