// The waveform view as the main window uses it. The arithmetic behind it is in
// tst_WaveformMath; here each wiring is checked once, on the real view.
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "RecordingSound.h"
#include "support/RuntimeErrors.h"
#include "support/Shown.h"
#include "TestWav.h"
#include "platform/Dialogs.h"
#include "platform/TickSource.h"
#include "sound/graphWindow.h"

using namespace testwav;

namespace {

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
    QColor barColour(const char* name) const
    {
        return view.findChild<QLabel*>(QLatin1String(name))->palette().color(QPalette::Window);
    }
    QString told() const { return mk::test::told(dialogs); }
    /// The plays asked for since the last call, as "from-to" ("w" when waited for).
    QStringList plays()
    {
        QStringList out;
        for (const RecordingSound::Command& c : sound.plays())
            out << QStringLiteral("%1-%2%3").arg(c.from).arg(c.to).arg(c.wait ? "w" : "");
        sound.commands.clear();
        return out;
    }
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

struct Locate { QString missing; mk::MessageAnswer answer; bool pick; int lengthMs; };

} // namespace

Q_DECLARE_METATYPE(Locate)

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

    // Empty (where the plays play nothing), then a sound: the view and its numbers follow zoom, pan and the plot's
    // own widening; the file draws where it has bytes only.
    void viewJourney()
    {
        Rig r;
        QVERIFY(isForeground(r.view.waveformImage().pixelColor(500, 128))); // one flat line across the middle
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(0, 0, 1000, 120)), 0);
        QVERIFY(r.barColour("cursor") != r.barColour("redlineLabel"));
        // Without a sound zoom and pan leave the view alone.
        r.view.setczoom(10);
        r.view.setcpan(2000);
        QCOMPARE(QList<int>({r.view.cDisplayStart(), r.view.cDisplayEnd()}), QList<int>({1, 1000}));
        r.view.setcClipStart(5000);
        r.view.setcClipEnd(-5);
        QCOMPARE(QList<int>({r.view.cClipStart(), r.view.cClipEnd()}), QList<int>({999, 1000}));
        // Without a sound the plays send only stops; play runs its clock even
        // so, and the old end time has long passed; any other play stops it.
        r.view.playFromCursor();
        r.view.playClip();
        r.view.playFromTo();
        QVERIFY(!r.clock()->isActive());
        r.view.stopPlaying();
        QCOMPARE(r.sound.commands.size(), 3); // the three stops; stopPlaying sends none
        QCOMPARE(r.plays(), QStringList());
        r.view.play();
        QVERIFY(r.clock()->isActive());
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 1);
        r.view.play();
        r.view.playFromTo();
        QVERIFY(!r.clock()->isActive());
        r.sound.commands.clear();

        r.view.setcFileName(QStringLiteral("  ") + m_song + QStringLiteral(" "));
        QCOMPARE(r.view.cFileName(), m_song);
        QCOMPARE(r.view.cSoundLengthInMilliseconds(), 3500);
        // The view and the clip open on the whole sound, the cursor at 0.
        const auto state = [&] {
            return QList<int>({r.view.cDisplayStart(), r.view.cDisplayEnd(), r.view.cClipStart(), r.view.cClipEnd(),
                               r.view.cCurrentTime()});
        };
        QCOMPARE(state(), QList<int>({45, 617355, 45, 617355, 0}));
        QCOMPARE(r.sound.commands.size(), 1);
        QCOMPARE(r.sound.commands[0].kind + r.sound.commands[0].path, QStringLiteral("length") + m_song);
        r.view.setczoom(100); // a tenth, about the middle
        QCOMPARE(state(), QList<int>({277834, 339566, 45, 617355, 0}));
        QCOMPARE(r.view.cpan(), 5000);
        r.view.setcDisplayStart(1001); // 16-bit, narrower than 1000 points: the plot starts on a high byte
        r.view.setcDisplayEnd(2001);
        QCOMPARE(state(), QList<int>({1002, 2001, 45, 617355, 0}));

        // 2000 bytes of 0 where the header promises 4000: the missing half draws
        // as silence, not as whatever lies past the end of the file.
        r.view.setcFileName(file(QStringLiteral("short8.wav"), canonical(1, 8000, 8, QByteArray(2000, 0), 4000)));
        QCOMPARE(r.told(), QString());
        QVERIFY(inkIn(r.view.waveformImage(), QRect(295, 0, 10, 6)) > 0);
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(295, 100, 10, 60)), 0);
        QVERIFY(inkIn(r.view.waveformImage(), QRect(795, 127, 10, 6)) > 0);
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(795, 0, 10, 60)), 0);
        // Outside the clip the view is shaded; inside it is not.
        r.view.setcClipStart(2000);
        r.view.reDraw();
        QVERIFY(inkIn(r.view.waveformImage(), QRect(100, 180, 300, 60), true) > 1000);
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(600, 180, 300, 60), true), 0);
        // Zoomed in to 4 bytes, the next redraw widens the view to 100, and
        // the clip's shade is placed in the widened view.
        r.view.setczoom(1);
        QCOMPARE(QList<int>({r.view.cDisplayStart(), r.view.cDisplayEnd()}), QList<int>({1998, 2002}));
        r.view.reDraw();
        QCOMPARE(r.view.cDisplayEnd(), 2098);
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(100, 180, 300, 60), true), 0);
    }

    // A file the header reader rejects (each kind once: what it rejects is in tst_WavReader), or one the sound
    // service cannot measure, after a good sound: the view ends up in the complete no-sound state (never the rejected
    // name with the previous numbers), so a click plays nothing and moves the cursor to 0 ms, and Play plays nothing.
    void failedLoad_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: the song, measured as `error` says
        QTest::addColumn<int>("error");        // 263, 326; -1: measured as 0 ms; -6: the length overflows
        QTest::addColumn<QString>("told");     // empty: no message but run-time error 6
        namespace shown = mk::test::shown;
        const QString noData = shown::badWav.arg("Didn't find \"data\"");
        const QString noSamples = shown::badWav.arg("No samples");
        QTest::newRow("not RIFF") << QByteArray("RIFX0000WAVE") << 0 << shown::notWav;
        QTest::newRow("data at 10001") << dataAt(10001, QByteArray(8, 0)) << 0 << noData;
        QTest::newRow("empty data chunk") << canonical(1, 8000, 8, QByteArray()) << 0 << noSamples;
        QTest::newRow("measured as 0 ms") << QByteArray() << -1 << noSamples;
        QTest::newRow("326") << QByteArray() << 326 << shown::noSoundCard;
        QTest::newRow("263") << QByteArray() << 263 << shown::troubleWithFile.arg(263);
        QTest::newRow("6 Overflow") << QByteArray() << -6 << QString();
    }

    void failedLoad()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        QFETCH(QString, told);
        Rig r;
        r.view.setcFileName(m_song);
        r.sound.lengthError = std::max(error, 0);
        r.sound.lengthOverflows = error == -6;
        if (error == -1)
            r.sound.lengthMs = 0;
        const QString path = bytes.isEmpty() ? m_song : file(QStringLiteral("bad.wav"), bytes);
        QCOMPARE(mk::test::errorNumber([&] { r.view.setcFileName(path); }), told.isEmpty() ? 6 : 0);
        QCOMPARE(r.told(), told);
        QCOMPARE(r.view.cFileName(), QStringLiteral("noSound"));
        QCOMPARE(QList<int>({r.view.cSoundLengthInMilliseconds(), r.view.cSoundStart(), r.view.cSoundLength(),
                             r.view.cDisplayStart(), r.view.cDisplayEnd(), r.view.cCurrentTime()}),
                 QList<int>({0, 0, 1000, 1, 1000, 500}));
        QCOMPARE(r.scrubs.count(), 1); // the good sound's only

        r.sound.commands.clear();
        QTest::mouseClick(&r.view, Qt::LeftButton, {}, QPoint(900, 100));
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 0);
        r.view.playFromCursor();
        r.view.play();
        QVERIFY(r.sound.plays().isEmpty());
        QVERIFY(!r.view.playing());
    }

    // Every cursor time lies within the sound: left of its start (over a long header chunk) is 0 ms, snippets
    // last 20 ms, and a play from there starts at 0 with the clock counting the whole sound.
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
        for (const QString& p : r.plays())
            QVERIFY2(p == "0-20w" || p == "0-20", qPrintable(p));
        const qint64 now = r.ticks.now();
        r.view.playFromCursor();
        QCOMPARE(r.plays(), QStringList{"0--1"});
        QCOMPARE(r.view.playStartMs(), 0);
        QCOMPARE(r.view.playEndTick(), now + 2000);
    }

    // The question, then the file dialog; whatever the answers, a sound that was playing stops.
    void locate_data()
    {
        QTest::addColumn<Locate>("row");
        QTest::newRow("cancel the question") << Locate{"/gone/Song.wav", mk::MessageAnswer::Cancel, false, 1000};
        QTest::newRow("cancel the dialog") << Locate{"/gone/Song.wav", mk::MessageAnswer::Ok, false, 0};
        QTest::newRow("pick another file") << Locate{"/gone/Song.wav", mk::MessageAnswer::Ok, true, 3500};
        QTest::newRow("windows path") << Locate{"C:\\Sounds\\Song.wav", mk::MessageAnswer::Ok, true, 3500};
    }

    void locate()
    {
        QFETCH(Locate, row);
        const auto& [missing, answer, pick, lengthMs] = row;
        Rig r;
        r.view.setcFileName(m_song);
        r.view.playFromCursor();
        QVERIFY(r.clock()->isActive());
        r.sound.commands.clear();
        r.dialogs.answers = {answer};
        r.dialogs.paths = {pick ? m_song : QString()};
        r.view.setcFileName(missing);

        QCOMPARE(r.told(), mk::test::shown::locateSound.arg("Song.wav"));
        const bool asked = answer == mk::MessageAnswer::Ok;
        QCOMPARE(r.dialogs.fileRequests.size(), asked ? 1 : 0);
        if (asked) {
            const mk::FileDialogRequest& f = r.dialogs.fileRequests[0];
            QCOMPARE(QStringList({f.title, f.filter, f.fileName}),
                     QStringList({"Locate Song.wav", "Wave Audio Files  *.wav|*.wav|All Files|*.*", "Song.wav"}));
        }
        QCOMPARE(r.view.cFileName(), pick ? m_song : QStringLiteral("noSound"));
        QCOMPARE(r.view.cSoundLengthInMilliseconds(), lengthMs);
        QCOMPARE(r.view.cCurrentTime(), pick ? 0 : 500);
        QVERIFY(!r.clock()->isActive());
        if (!pick) // a sound picked instead is loaded by the same path as any other
            QCOMPARE(r.sound.commands.value(0).kind, QStringLiteral("stop"));
    }

    // Scrubbing with the mouse, each kind of play with its clock and end, and a loop.
    void playJourney()
    {
        Rig r;
        r.view.setcFileName(m_song);
        r.view.setcCurrentTimeInMilliseconds(100);
        r.view.playFromCursor();
        QVERIFY(r.clock()->isActive());
        r.plays();
        r.scrubs.clear();

        QTest::mousePress(&r.view, Qt::LeftButton, {}, QPoint(500, 100));
        QVERIFY(!r.clock()->isActive()); // the clock stops, the sound is left alone
        QCOMPARE(r.view.cCurrentTime(), 308700);
        for (int x : {600, 700, 1500}) // dragged out past the end: 3500 ms
            QTest::mouseMove(&r.view, QPoint(x, 100));
        QTest::mouseRelease(&r.view, Qt::LeftButton, {}, QPoint(1500, 100));
        QCOMPARE(r.sound.commands.size(), 4); // snippets only, nothing stopped
        QCOMPARE(r.sound.commands.last().path, m_song);
        // The cursor at each press or move, every other one waited for.
        QCOMPARE(r.plays(), QStringList({"1750-1770w", "2100-2120", "2450-2470w", "3500-3520"}));
        QCOMPARE(r.scrubs.count(), 4);
        // Other buttons, and moves without the left button, do nothing.
        QTest::mousePress(&r.view, Qt::RightButton, {}, QPoint(200, 100));
        QTest::mouseMove(&r.view, QPoint(300, 100));
        QTest::mouseRelease(&r.view, Qt::RightButton, {}, QPoint(300, 100));
        QVERIFY(r.sound.commands.isEmpty());
        QCOMPARE(r.scrubs.count(), 4);
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 3500);

        // From the cursor: the output stopped first, the clock ends the play
        // only once its end time has passed, and never scrubs.
        r.view.setcCurrentTimeInMilliseconds(1000);
        r.scrubs.clear();
        const qint64 t0 = r.ticks.now();
        r.view.playFromCursor();
        QVERIFY(r.view.playing());
        QCOMPARE(r.sound.commands.first().kind, QStringLiteral("stop"));
        QCOMPARE(r.plays(), QStringList{"1000--1"});
        QCOMPARE(r.view.playEndTick(), t0 + 2500);
        r.ticks.set(t0 + 2500);
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 0);
        r.ticks.advance(1);
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 1);
        QVERIFY(!r.clock()->isActive());
        QCOMPARE(r.scrubs.count(), 0);

        // The clip, and the range between the points, with the clock between.
        r.view.setcClipStart(45 + 176400); // 1000 ms
        r.view.setcClipEnd(45 + 352800);   // 2000 ms
        r.view.playClip();
        QCOMPARE(r.plays(), QStringList{"1000-2000"});
        QCOMPARE(r.view.playEndTick(), r.ticks.now() + 1000);
        r.ticks.advance(500);
        r.view.playUpdateTick();
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 1500);
        r.view.setcStartPoint(200);
        r.view.setcEndPoint(700);
        r.view.playFromTo();
        QCOMPARE(r.plays(), QStringList{"200-700"});
        QCOMPARE(r.view.playEndTick(), r.ticks.now() + 500);

        // With cLoop the same kind of play starts again at once.
        r.view.setcLoop(true);
        r.ticks.advance(600);
        r.view.playUpdateTick();
        QCOMPARE(r.stops.count(), 2);
        QCOMPARE(r.plays(), QStringList{"200-700"});
        QVERIFY(r.clock()->isActive());
        r.view.stopPlaying();
        QVERIFY(!r.clock()->isActive());
        QCOMPARE(r.sound.commands.last().kind, QStringLiteral("stop"));
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
        QCOMPARE(r.told(), mk::test::shown::redrawFailed);
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
