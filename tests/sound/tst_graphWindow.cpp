// The waveform view as the main window uses it: loading (and the messages of
// a bad or missing file), scrubbing with the mouse, playback and its clock,
// and drawing from a file that is short or gone.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>


#include "RecordingSound.h"
#include "support/RuntimeErrors.h"
#include "TestWav.h"
#include "platform/Dialogs.h"
#include "platform/TickSource.h"
#include "sound/graphWindow.h"

using namespace testwav;

namespace {

const QChar CR(13);

struct Rig {
    mk::ManualTickSource ticks;
    mk::ScriptedDialogs dialogs;
    RecordingSound sound;
    graphWindow view{ticks, dialogs, sound};
    QSignalSpy scrubs{&view, &graphWindow::scrub};
    QSignalSpy stops{&view, &graphWindow::soundHasStopped};
    Rig()
    {
        view.resize(1000, 256);
        view.show();
    }
    QTimer* clock() const { return view.findChild<QTimer*>(QStringLiteral("PlayUpdateTimer")); }
};

bool isForeground(const QColor& c) { return c.green() > 150 && c.red() < 150; }

/// Pixels in `r` drawn in the waveform colour, or (`anyInk`) drawn at all.
int inkIn(const QImage& img, const QRect& r, bool anyInk = false)
{
    const QColor background = img.pixelColor(img.width() * 7 / 10, img.height() * 4 / 5);
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += anyInk ? c != background : isForeground(c);
        }
    return n;
}

} // namespace

Q_DECLARE_METATYPE(mk::MessageAnswer)

class tst_graphWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_song; // 3.5 s, 16-bit stereo, of which only the first bytes exist

    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        if (!write(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_song = file(QStringLiteral("song.wav"), canonical(2, 44100, 16, QByteArray(4000, '\x20'), 617400));
    }

    void startsWithoutSound()
    {
        // One flat line across the middle.
        Rig r;
        const QImage& img = r.view.waveformImage();
        QVERIFY(isForeground(img.pixelColor(500, 128)));
        QCOMPARE(inkIn(img, QRect(0, 0, 1000, 120)), 0);
    }

    void loadsAWav()
    {
        Rig r;
        r.view.setcFileName(QStringLiteral("  ") + m_song + QStringLiteral(" "));
        QCOMPARE(r.view.cFileName(), m_song);
        QCOMPARE(r.view.cSoundLengthInMilliseconds(), 3500);
        // The view and the clip open on the whole sound, the cursor at 0.
        QCOMPARE(r.view.cDisplayStart(), 45);
        QCOMPARE(r.view.cDisplayEnd(), 617355);
        QCOMPARE(r.view.cClipStart(), 45);
        QCOMPARE(r.view.cClipEnd(), 617355);
        QCOMPARE(r.view.cCurrentTime(), 0);
        QCOMPARE(r.scrubs.count(), 1);
        QCOMPARE(r.dialogs.messages.size(), 0);
        QCOMPARE(r.sound.commands.size(), 1);
        QCOMPARE(r.sound.commands[0].kind, QStringLiteral("length"));
        QCOMPARE(r.sound.commands[0].path, m_song);

        // Without a sound zoom and pan leave the view alone.
        r.view.setcFileName(QStringLiteral("noSound "));
        QCOMPARE(r.view.cSoundLengthInMilliseconds(), 0);
        r.view.setczoom(10);
        r.view.setcpan(5000);
        QCOMPARE(r.view.cDisplayStart(), 1);
        QCOMPARE(r.view.cDisplayEnd(), 1000);
        r.view.setcClipStart(5000);
        QCOMPARE(r.view.cClipStart(), 999);
        r.view.setcClipEnd(-5);
        QCOMPARE(r.view.cClipEnd(), 1000);
    }

    // A file the header reader rejects, or one the sound service cannot
    // measure, after a good sound: the view ends up in the complete no-sound
    // state (never the rejected name with the previous numbers), so a click
    // plays nothing and moves the cursor to 0 ms, and Play plays nothing.
    void failedLoad_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: the song, measured as `error` says
        QTest::addColumn<int>("error");        // 263, 326; -1: measured as 0 ms; -6: the length overflows
        QTest::addColumn<QString>("text");     // empty: no message but run-time error 6
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        const QString notWav = QStringLiteral("This file does not appear to be a .wav file");
        const QString problem = QStringLiteral("This doesn't seem to be a valid .wav file.") + CR
                                + "Try opening this file in another program such as Sound Recorder" + CR
                                + "and saving it right back out again." + CR + "Reason: ";
        const QString noData = problem + "Didn't find \"data\"";
        const QString noSamples = problem + "No samples";
        const int none = int(mk::MessageIcon::None);
        const int exclamation = int(mk::MessageIcon::Exclamation);
        QTest::newRow("not RIFF") << QByteArray("RIFX0000WAVE") << 0 << notWav << "MarionetteKit" << none;
        QTest::newRow("data at 10001") << dataAt(10001, QByteArray(8, 0)) << 0 << noData << "Sound Problem" << exclamation;
        QTest::newRow("truncated header") << QByteArray("RIFF\x24\x00\x00\x00WA", 10) << 0 << noData << "Sound Problem"
                                          << exclamation;
        QTest::newRow("empty data chunk") << canonical(1, 8000, 8, QByteArray()) << 0 << noSamples << "Sound Problem"
                                          << exclamation;
        QTest::newRow("unknown count, nothing after it")
            << canonical(2, 44100, 16, QByteArray(), 0xFFFFFFFFLL) << 0 << noSamples << "Sound Problem" << exclamation;
        QTest::newRow("measured as 0 ms") << QByteArray() << -1 << noSamples << "Sound Problem" << exclamation;
        QTest::newRow("326") << QByteArray() << 326
                             << QStringLiteral("It appears that either you do not have a sound card installed") + CR
                                    + "or that you do not have the drivers installed which are " + CR
                                    + "necessary to play Wave (.wav) files"
                             << "MarionetteKit" << none;
        QTest::newRow("263") << QByteArray() << 263
                             << QStringLiteral("GW:Had trouble with this file...") + CR + "Error Description = " + CR
                                    + "Error Code = 263"
                             << "MarionetteKit" << none;
        QTest::newRow("6 Overflow") << QByteArray() << -6 << QString() << QString() << none;
    }

    void failedLoad()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        QFETCH(QString, text);
        Rig r;
        r.view.setcFileName(m_song);
        if (error == -1)
            r.sound.lengthMs = 0;
        else if (error == -6)
            r.sound.lengthOverflows = true;
        else
            r.sound.lengthError = error;
        const QString path = bytes.isEmpty() ? m_song : file(QStringLiteral("bad.wav"), bytes);
        QCOMPARE(mk::test::errorNumber([&] { r.view.setcFileName(path); }), text.isEmpty() ? 6 : 0);
        QCOMPARE(r.dialogs.messages.size(), text.isEmpty() ? 0 : 1);
        if (!text.isEmpty()) {
            QTEST(r.dialogs.messages[0].text, "text");
            QTEST(r.dialogs.messages[0].title, "title");
            QTEST(int(r.dialogs.messages[0].icon), "icon");
            QCOMPARE(r.dialogs.messages[0].buttons, mk::MessageButtons::Ok);
        }
        QCOMPARE(r.view.cFileName(), QStringLiteral("noSound"));
        QCOMPARE(r.view.cSoundLengthInMilliseconds(), 0);
        QCOMPARE(r.view.cSoundStart(), 0);
        QCOMPARE(r.view.cSoundLength(), 1000);
        QCOMPARE(r.view.cDisplayStart(), 1);
        QCOMPARE(r.view.cDisplayEnd(), 1000);
        QCOMPARE(r.view.cCurrentTime(), 500);
        QCOMPARE(r.scrubs.count(), 1); // the good sound's only

        r.sound.commands.clear();
        QTest::mouseClick(&r.view, Qt::LeftButton, {}, QPoint(900, 100));
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 0);
        r.view.playFromCursor();
        r.view.play();
        QVERIFY(r.sound.plays().isEmpty());
        QVERIFY(!r.view.playing());
    }

    // Every cursor time lies within the sound: left of its start (over a long
    // header chunk) is 0 ms, snippets last 20 ms, and a play from there starts
    // at 0 with the clock counting the whole sound.
    void scrubBeforeTheStart_data()
    {
        QTest::addColumn<int>("how"); // 0: press, 1: drag, 2: cCurrentTime set before the start
        QTest::newRow("press") << 0;
        QTest::newRow("drag") << 1;
        QTest::newRow("cCurrentTime") << 2;
    }

    void scrubBeforeTheStart()
    {
        QFETCH(int, how);
        Rig r;
        // 8-bit mono at 1 kHz, 2 s of samples after a 5000-byte chunk.
        const QString path = file(QStringLiteral("late.wav"),
                                  riff(fmt(1, 1000, 8) + chunk("junk", QByteArray(5000, 'j')) + data(QByteArray(2000, 0))));
        r.sound.lengthMs = 2000;
        r.view.setcFileName(path);
        QVERIFY(r.view.cSoundStart() > 5000);
        r.view.setcDisplayStart(1); // only the header in view
        r.view.setcDisplayEnd(5000);
        r.sound.commands.clear();
        if (how == 2) {
            r.view.setcCurrentTime(1);
        } else {
            QTest::mousePress(&r.view, Qt::LeftButton, {}, QPoint(how == 0 ? 0 : 400, 100));
            if (how == 1) {
                QTest::mouseMove(&r.view, QPoint(10, 100));
                QTest::mouseMove(&r.view, QPoint(0, 100));
            }
            QTest::mouseRelease(&r.view, Qt::LeftButton, {}, QPoint(0, 100));
        }
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 0);
        for (const RecordingSound::Command& c : r.sound.plays()) {
            QVERIFY(c.from >= 0);
            QCOMPARE(c.to - c.from, 20);
        }
        r.sound.commands.clear();
        const qint64 now = r.ticks.now();
        r.view.playFromCursor();
        QCOMPARE(r.sound.plays().size(), 1);
        QCOMPARE(r.sound.plays()[0].from, 0);
        QCOMPARE(r.sound.plays()[0].to, -1);
        QCOMPARE(r.view.playStartMs(), 0);
        QCOMPARE(r.view.playEndTick(), now + 2000);
    }

    void locate_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<mk::MessageAnswer>("answer");
        QTest::addColumn<QString>("pick"); // "" cancels, "song" the real file
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("lengthMs");
        QTest::newRow("cancel the question") << "/gone/Song.wav" << mk::MessageAnswer::Cancel << "" << 0 << false << 1000;
        QTest::newRow("cancel the dialog") << "/gone/Song.wav" << mk::MessageAnswer::Ok << "" << 1 << false << 0;
        QTest::newRow("pick another file") << "/gone/Song.wav" << mk::MessageAnswer::Ok << "song" << 1 << true << 3500;
        QTest::newRow("windows path") << "C:\\Sounds\\Song.wav" << mk::MessageAnswer::Ok << "song" << 1 << true << 3500;
    }

    void locate()
    {
        QFETCH(QString, missing);
        QFETCH(mk::MessageAnswer, answer);
        QFETCH(QString, pick);
        QFETCH(int, requests);
        QFETCH(bool, loaded);
        Rig r;
        r.dialogs.answers = {answer};
        r.dialogs.paths = {pick == "song" ? m_song : QString()};
        r.view.setcFileName(missing);

        QCOMPARE(r.dialogs.messages.size(), 1);
        QCOMPARE(r.dialogs.messages[0].text, QStringLiteral("The sound file that was used with this project no longer")
                                                 + CR + "exists or has been moved.  Please locate this file: " + CR
                                                 + "Song.wav");
        QCOMPARE(r.dialogs.messages[0].title, QStringLiteral("Can't find the sound file"));
        QCOMPARE(r.dialogs.messages[0].buttons, mk::MessageButtons::OkCancel);
        QCOMPARE(r.dialogs.messages[0].icon, mk::MessageIcon::Exclamation);
        QCOMPARE(r.dialogs.fileRequests.size(), requests);
        if (requests) {
            QCOMPARE(r.dialogs.fileRequests[0].title, QStringLiteral("Locate Song.wav"));
            QCOMPARE(r.dialogs.fileRequests[0].filter, QStringLiteral("Wave Audio Files  *.wav|*.wav|All Files|*.*"));
            QCOMPARE(r.dialogs.fileRequests[0].fileName, QStringLiteral("Song.wav"));
        }
        QCOMPARE(r.view.cFileName(), loaded ? m_song : QStringLiteral("noSound"));
        QTEST(int(r.view.cSoundLengthInMilliseconds()), "lengthMs");
        if (!loaded)
            QCOMPARE(r.view.cCurrentTime(), 500);
    }

    void scrubbing()
    {
        Rig r;
        r.view.setcFileName(m_song);
        r.view.setcCurrentTimeInMilliseconds(100);
        r.view.playFromCursor();
        QVERIFY(r.clock()->isActive());
        r.sound.commands.clear();
        r.scrubs.clear();

        QTest::mousePress(&r.view, Qt::LeftButton, {}, QPoint(500, 100));
        QVERIFY(!r.clock()->isActive()); // the clock stops, the sound is left alone
        QCOMPARE(r.view.cCurrentTime(), 308700);
        QTest::mouseMove(&r.view, QPoint(600, 100));
        QTest::mouseMove(&r.view, QPoint(700, 100));
        QTest::mouseMove(&r.view, QPoint(1500, 100)); // dragged out past the end: 3500 ms
        QTest::mouseRelease(&r.view, Qt::LeftButton, {}, QPoint(1500, 100));

        const QList<RecordingSound::Command> plays = r.sound.plays();
        QCOMPARE(plays.size(), 4);
        const int from[] = {1750, 2100, 2450, 3500}; // the cursor at each press or move
        const bool wait[] = {true, false, true, false};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(plays[i].path, m_song);
            QCOMPARE(plays[i].from, from[i]);
            QCOMPARE(plays[i].to, from[i] + 20);
            QCOMPARE(plays[i].wait, wait[i]);
        }
        QCOMPARE(r.sound.commands.size(), 4); // snippets only, nothing stopped
        QCOMPARE(r.scrubs.count(), 4);

        // Other buttons, and moves without the left button, do nothing.
        QTest::mousePress(&r.view, Qt::RightButton, {}, QPoint(200, 100));
        QTest::mouseMove(&r.view, QPoint(300, 100));
        QTest::mouseRelease(&r.view, Qt::RightButton, {}, QPoint(300, 100));
        QCOMPARE(r.sound.commands.size(), 4);
        QCOMPARE(r.scrubs.count(), 4);
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 3500);
    }

    void playFromCursorAndClock()
    {
        Rig r;
        const QString minute = file(QStringLiteral("minute.wav"), canonical(2, 44100, 16, QByteArray(64, 0), 10584000));
        r.sound.lengthMs = 60000;
        r.view.setcFileName(minute);
        r.view.setcCurrentTimeInMilliseconds(10000);
        r.sound.commands.clear();
        r.scrubs.clear();

        const qint64 t0 = r.ticks.now();
        r.view.playFromCursor();
        QCOMPARE(r.sound.commands.size(), 2);
        QCOMPARE(r.sound.commands[0].kind, QStringLiteral("stop"));
        QCOMPARE(r.sound.commands[1].kind, QStringLiteral("play"));
        QCOMPARE(r.sound.commands[1].from, 10000);
        QCOMPARE(r.sound.commands[1].to, -1);
        QCOMPARE(r.sound.commands[1].wait, false);
        QCOMPARE(r.view.playEndTick(), t0 + 50000);
        QVERIFY(r.clock()->isActive());

        r.ticks.set(t0 + 50000);
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 0); // not before the end time has passed
        r.ticks.advance(1);
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 1);
        QVERIFY(!r.clock()->isActive());
        QCOMPARE(r.scrubs.count(), 0); // the clock never scrubs

        // With cLoop the same kind of play starts again at once.
        r.view.setcLoop(true);
        r.view.playFromCursor();
        r.ticks.advance(60000);
        r.sound.commands.clear();
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 2);
        QCOMPARE(r.sound.plays().size(), 1);
        QVERIFY(r.clock()->isActive());

        r.view.stopPlaying();
        QVERIFY(!r.clock()->isActive());
        QCOMPARE(r.sound.commands.last().kind, QStringLiteral("stop"));
    }

    void playbackWithoutSound()
    {
        Rig r;
        r.view.playFromCursor();
        r.view.playClip();
        r.view.playFromTo();
        QCOMPARE(r.sound.plays().size(), 0);
        QVERIFY(!r.clock()->isActive());
        r.view.stopPlaying();
        QCOMPARE(r.sound.commands.size(), 3); // the three stops; stopPlaying sends none
        // play runs its clock even so, and the old end time has long passed.
        r.view.play();
        QVERIFY(r.clock()->isActive());
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 1);
    }

    void clipAndRangeClock()
    {
        Rig r;
        r.view.setcFileName(m_song);
        r.view.setcClipStart(45 + 176400); // 1000 ms
        r.view.setcClipEnd(45 + 352800);   // 2000 ms
        const qint64 t0 = r.ticks.now();
        r.view.playClip();
        RecordingSound::Command p = r.sound.plays().last();
        QCOMPARE(p.from, 1000);
        QCOMPARE(p.to, 2000);
        QCOMPARE(r.view.playEndTick(), t0 + 1000);
        r.ticks.advance(500);
        r.view.playUpdateTick();
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 1500);

        r.view.setcStartPoint(200);
        r.view.setcEndPoint(700);
        r.view.playFromTo();
        p = r.sound.plays().last();
        QCOMPARE(p.from, 200);
        QCOMPARE(p.to, 700);
        QCOMPARE(r.view.playEndTick(), r.ticks.now() + 500);
    }

    void drawsFromTheFileOnly()
    {
        // 2000 bytes of 0 where the header promises 4000: the missing half draws
        // as silence, not as whatever lies past the end of the file.
        Rig r;
        r.view.setcFileName(file(QStringLiteral("short8.wav"), canonical(1, 8000, 8, QByteArray(2000, 0), 4000)));
        QCOMPARE(r.dialogs.messages.size(), 0);
        const QImage& img = r.view.waveformImage();
        QVERIFY(inkIn(img, QRect(295, 0, 10, 6)) > 0);
        QCOMPARE(inkIn(img, QRect(295, 100, 10, 60)), 0);
        QVERIFY(inkIn(img, QRect(795, 127, 10, 6)) > 0);
        QCOMPARE(inkIn(img, QRect(795, 0, 10, 60)), 0);

        // Outside the clip the view is shaded; inside it is not.
        r.view.setcClipStart(2000);
        r.view.reDraw();
        QVERIFY(inkIn(r.view.waveformImage(), QRect(100, 180, 300, 60), true) > 1000);
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(600, 180, 300, 60), true), 0);

        // Zoomed in to 4 bytes, the next redraw widens the view to 100.
        r.view.setczoom(1);
        QCOMPARE(r.view.cDisplayStart(), 1998);
        QCOMPARE(r.view.cDisplayEnd(), 2002);
        r.view.reDraw();
        QCOMPARE(r.view.cDisplayEnd(), 2098);
    }

    void vanishedFile()
    {
        Rig r;
        const QByteArray bytes = canonical(2, 44100, 16, QByteArray(4000, '\x20'), 617400);
        const QString path = file(QStringLiteral("vanishing.wav"), bytes);
        r.view.setcFileName(path);
        QVERIFY(QFile::remove(path));

        r.view.reDraw();
        r.view.resize(800, 200);
        r.view.reDraw();
        QCOMPARE(r.dialogs.messages.size(), 1);
        QCOMPARE(r.dialogs.messages[0].text, QStringLiteral("there was an error in reDraw"));
        QCOMPARE(r.dialogs.messages[0].title, QStringLiteral("MarionetteKit"));
        QCOMPARE(r.view.waveformImage().width(), 800);

        // Back again, then gone again: reported again.
        file(QStringLiteral("vanishing.wav"), bytes);
        r.view.reDraw();
        QVERIFY(QFile::remove(path));
        r.view.reDraw();
        QCOMPARE(r.dialogs.messages.size(), 2);
    }
};

QTEST_MAIN(tst_graphWindow)
#include "tst_graphWindow.moc"
