// A show with a sound: Play starts the clock and then the sound from the
// cursor, the end of the sound stops the clock, and the countdown starts the
// show again from the top.
#include <QAction>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainForm.h"
#include "sound/RecordingSound.h"
#include "sound/TestWav.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"

class TestSoundShow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void playEndAndRepeat();
    void scrubWithSoundStopsTheClock_data();
    void scrubWithSoundStopsTheClock();
};

namespace {
struct Rig {
    mk::ManualTickSource ticks;
    mk::FixedJoystick joystick;
    mk::ScriptedDialogs dialogs;
    RecordingSound sound;
    QTemporaryDir dir;
    std::unique_ptr<mainForm> w;
    Rig()
    {
        w = std::make_unique<mainForm>(mk::Services{ticks, joystick, dialogs, sound, {"", "", "", ""}});
        sound.lengthMs = 2000;
        const QString path = dir.filePath("show.wav");
        testwav::write(path, testwav::canonical(2, 44100, 16, QByteArray(4 * 88200, '\0')));
        w->importSoundFile(path);
        sound.commands.clear();
    }
};
} // namespace

void TestSoundShow::playEndAndRepeat()
{
    Rig rig;
    auto* graph = rig.w->graphWindow();
    auto* clock = rig.w->SMPTEtimer();
    graph->setcCurrentTimeInMilliseconds(1000);
    rig.w->playClicked();
    QVERIFY(clock->isItRunning());
    QCOMPARE(clock->frameNumber(), 30);
    QCOMPARE(rig.sound.plays().size(), 1);
    QCOMPARE(rig.sound.plays()[0].from, 1000);

    // The playback clock moves the cursor; past the end the take is over.
    rig.w->countdownTimer()->setEnabled(true);
    rig.w->countdownTimer()->setDuration(3);
    rig.ticks.advance(500);
    graph->playUpdateTick();
    QCOMPARE(graph->cCurrentTimeInMilliseconds(), 1500);
    rig.ticks.advance(501);
    graph->playUpdateTick();
    QVERIFY(!clock->isItRunning());
    QVERIFY(rig.w->countdownTimer()->isItRunning());

    // Three seconds later the show starts again from the top.
    rig.ticks.advance(3006);
    rig.w->countdownTimer()->tick();
    QVERIFY(clock->isItRunning());
    QCOMPARE(clock->frameNumber(), 0);
    QCOMPARE(rig.sound.plays().size(), 2);
    QCOMPARE(rig.sound.plays()[1].from, 0);

    // Rewind stops everything and puts the cursor at the start.
    rig.w->rewindClicked();
    QVERIFY(!clock->isItRunning());
    QCOMPARE(graph->cCurrentTime(), graph->cSoundStart());
    QCOMPARE(rig.sound.commands.last().kind, QStringLiteral("stop"));
}

void TestSoundShow::scrubWithSoundStopsTheClock_data()
{
    QTest::addColumn<int>("cursorMs");
    QTest::addColumn<int>("frame");
    QTest::newRow("10 s") << 10000 << 300;
    QTest::newRow("before the start") << -40 << 0;
    QTest::newRow("half a frame, to even") << 50 << 2;
}

void TestSoundShow::scrubWithSoundStopsTheClock()
{
    QFETCH(int, cursorMs);
    QFETCH(int, frame);
    Rig rig;
    rig.w->playClicked();
    QVERIFY(rig.w->SMPTEtimer()->isItRunning());
    rig.w->graphWindow()->setcCurrentTimeInMilliseconds(cursorMs);
    QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
    QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), frame);
}

QTEST_MAIN(TestSoundShow)
#include "test_soundshow.moc"
