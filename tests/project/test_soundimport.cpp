// Import Sound through the main window: the dialog, the load, the tracks
// sized to the sound, and what a cancel or a bad file leaves alone.
#include <QAction>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainForm.h"
#include "sound/RecordingSound.h"
#include "sound/TestWav.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "tracks/NewSlider.h"

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
        dialogs.messages.clear(); // the probe's "no free port" message
    }
    QString wav(const QString& name)
    {
        const QString path = dir.filePath(name);
        testwav::write(path, testwav::canonical(2, 44100, 16, QByteArray(4000, '\0')));
        return path;
    }
    void import(const QString& path)
    {
        dialogs.paths << path;
        w->menuItem("importSound")->trigger();
    }
    /// Records `value` into frame `frame` of every track.
    void record(int frame, int value)
    {
        for (int i = 0; i < 8; ++i) {
            w->slider(i)->setDataStartPoint(frame);
            w->slider(i)->setData(qint16(value));
        }
    }
};

} // namespace

class TestSoundImport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sizesTracksToTheSound_data();
    void sizesTracksToTheSound();
    void cancelChangesNothing();
    void shorterSoundKeepsEarlierFrames();
    void badFileLeavesTracksAlone();
};

void TestSoundImport::sizesTracksToTheSound_data()
{
    QTest::addColumn<int>("lengthMs");
    QTest::addColumn<int>("lastFrame");
    QTest::newRow("10 s") << 10000 << 300;
    QTest::newRow("16 ms rounds to frame 0") << 16 << 0;
    QTest::newRow("50 ms is 1.5 frames, to even") << 50 << 2;
    QTest::newRow("one hour") << 3600000 << 108000;
}

void TestSoundImport::sizesTracksToTheSound()
{
    QFETCH(int, lengthMs);
    QFETCH(int, lastFrame);
    Rig rig;
    rig.sound.lengthMs = lengthMs;
    rig.w->SMPTEtimer()->setFrameNumber(77);
    const QString path = rig.wav("take.wav");
    rig.import(path);

    QCOMPARE(rig.dialogs.fileRequests.size(), 1);
    QCOMPARE(rig.dialogs.fileRequests[0].title, QStringLiteral("Import Sound"));
    QCOMPARE(rig.dialogs.fileRequests[0].filter, QStringLiteral("Wave Audio Files  *.wav|*.wav|All Files|*.*"));
    QCOMPARE(rig.dialogs.fileRequests[0].fileName, QStringLiteral("Sound.wav"));
    QVERIFY(rig.dialogs.messages.isEmpty());
    QCOMPARE(rig.w->graphWindow()->cFileName(), path);
    QVERIFY(rig.w->soundLoaded);
    QCOMPARE(rig.w->graphWindow()->cCurrentTimeInMilliseconds(), 0);
    QCOMPARE(rig.w->SMPTEtimer()->frameNumber(), 0); // the scrub to the start was handled
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(rig.w->slider(i)->maxframe(), lastFrame);
        QCOMPARE(rig.w->slider(i)->datalength(), lastFrame);
    }
}

void TestSoundImport::cancelChangesNothing()
{
    Rig rig;
    rig.w->slider(0)->setMaxframe(42);
    rig.w->playClicked();
    rig.w->menuItem("importSound")->trigger(); // no path scripted: cancel
    QVERIFY(!rig.w->SMPTEtimer()->isItRunning()); // the transport was stopped first
    QVERIFY(rig.dialogs.messages.isEmpty());
    QVERIFY(!rig.w->soundLoaded);
    QCOMPARE(rig.w->graphWindow()->cFileName(), QStringLiteral("noSound"));
    QCOMPARE(rig.w->slider(0)->maxframe(), 42);
}

void TestSoundImport::shorterSoundKeepsEarlierFrames()
{
    Rig rig;
    rig.sound.lengthMs = 10000;
    rig.import(rig.wav("long.wav"));
    rig.record(100, 140);
    rig.record(250, 150);
    rig.sound.lengthMs = 5000;
    rig.import(rig.wav("short.wav"));
    auto* track = rig.w->slider(5);
    QCOMPARE(track->maxframe(), 150);
    track->setDataStartPoint(100);
    QCOMPARE(int(track->data()), 140);
    // Growing again brings back empty frames, not the old positions.
    rig.sound.lengthMs = 10000;
    rig.import(rig.wav("long2.wav"));
    track->setDataStartPoint(250);
    QCOMPARE(int(track->data()), 0);
}

void TestSoundImport::badFileLeavesTracksAlone()
{
    Rig rig;
    rig.sound.lengthMs = 10000;
    rig.import(rig.wav("good.wav"));
    rig.record(200, 99);
    const QString bad = rig.dir.filePath("notes.wav");
    testwav::write(bad, QByteArray("this is not a sound file at all, just text"));
    rig.import(bad);
    QCOMPARE(rig.dialogs.messages.size(), 1);
    QCOMPARE(rig.dialogs.messages[0].text, QStringLiteral("This file does not appear to be a .wav file"));
    QCOMPARE(rig.w->graphWindow()->cFileName(), QStringLiteral("noSound"));
    QVERIFY(!rig.w->soundLoaded);
    auto* track = rig.w->slider(2);
    QCOMPARE(track->maxframe(), 300);
    track->setDataStartPoint(200);
    QCOMPARE(int(track->data()), 99);

    // No sound card: the view says so, and the recording is kept as well.
    rig.sound.lengthError = mk::SoundService::CannotPlay;
    rig.import(rig.wav("other.wav"));
    QCOMPARE(rig.dialogs.messages.size(), 2);
    QVERIFY(rig.dialogs.messages[1].text.startsWith("It appears that either you do not have a sound card installed"));
    QCOMPARE(track->maxframe(), 300);
}

QTEST_MAIN(TestSoundImport)
#include "test_soundimport.moc"
