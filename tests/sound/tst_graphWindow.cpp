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
    /// Length in ms, sound start and length, view, clip, cursor position.
    QList<int> state() const
    {
        return {view.cSoundLengthInMilliseconds(), view.cSoundStart(), view.cSoundLength(), view.cDisplayStart(),
                view.cDisplayEnd(), view.cClipStart(), view.cClipEnd(), view.cCurrentTime()};
    }
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

struct Load {
    QByteArray file;          // written to bad.wav; a name ending in ".wav": a file that is gone; empty: the song
    int error;                // of the length query: 263, 326; -1: 0 ms; -6: it overflows (run-time error 6)
    mk::MessageAnswer answer; // to the question where a file is gone
    bool pick;                // the file dialog then picks the song
    QString told;             // empty: no message but run-time error 6
    QList<int> state;         // Rig::state()
};

} // namespace

Q_DECLARE_METATYPE(Load)

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
    // own widening; the file draws where it has bytes only, and each time it vanishes the redraw says so.
    void viewJourney()
    {
        Rig r;
        QVERIFY(isForeground(r.view.waveformImage().pixelColor(500, 128))); // one flat line across the middle
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(0, 0, 1000, 120)), 0);
        QVERIFY(r.barColour("cursor") != r.barColour("redlineLabel"));
        // Without a sound zoom and pan leave the view alone; the clip stays in it.
        r.view.setczoom(10);
        r.view.setcpan(2000);
        r.view.setcClipStart(5000);
        r.view.setcClipEnd(-5);
        QCOMPARE(r.state(), QList<int>({1000, 0, 1000, 1, 1000, 999, 1000, 500}));
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
        // The view and the clip open on the whole sound, the cursor at 0.
        QCOMPARE(r.state(), QList<int>({3500, 45, 617400, 45, 617355, 45, 617355, 0}));
        QCOMPARE(r.sound.commands.size(), 1);
        QCOMPARE(r.sound.commands[0].kind + r.sound.commands[0].path, QStringLiteral("length") + m_song);
        r.view.setczoom(100); // a tenth, about the middle
        QCOMPARE(r.state().mid(3), QList<int>({277834, 339566, 45, 617355, 0}));
        QCOMPARE(r.view.cpan(), 5000);
        r.view.setcDisplayStart(1001); // 16-bit, narrower than 1000 points: the plot starts on a high byte
        r.view.setcDisplayEnd(2001);
        QCOMPARE(r.state().mid(3), QList<int>({1002, 2001, 45, 617355, 0}));

        // 2000 bytes of 0 where the header promises 4000: the missing half draws
        // as silence, not as whatever lies past the end of the file.
        const QByteArray short8 = canonical(1, 8000, 8, QByteArray(2000, 0), 4000);
        const QString path = file(QStringLiteral("short8.wav"), short8);
        r.view.setcFileName(path);
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
        // Zoomed in to 4 bytes, the next redraw widens the view to 100 and places the clip's shade in it.
        r.view.setczoom(1);
        QCOMPARE(QList<int>({r.view.cDisplayStart(), r.view.cDisplayEnd()}), QList<int>({1998, 2002}));
        r.view.reDraw();
        QCOMPARE(r.view.cDisplayEnd(), 2098);
        QCOMPARE(inkIn(r.view.waveformImage(), QRect(100, 180, 300, 60), true), 0);

        // Gone: said once, and the redraw still takes the view's new size; back, then gone again: said again.
        QVERIFY(QFile::remove(path));
        r.view.reDraw();
        r.view.resize(800, 200);
        r.view.reDraw();
        QCOMPARE(r.told(), mk::test::shown::redrawFailed);
        QCOMPARE(r.view.waveformImage().width(), 800);
        file(QStringLiteral("short8.wav"), short8);
        r.view.reDraw();
        QVERIFY(QFile::remove(path));
        r.view.reDraw();
        QCOMPARE(r.dialogs.messages.size(), 2);
    }

    // A good sound playing, then a file the header reader rejects (each kind once: what it rejects is in
    // tst_WavReader), one the sound service cannot measure, or one that is gone (the question, then the file dialog):
    // the play stops, and unless another file is picked the view ends up in the complete no-sound state (never the
    // rejected name with the previous numbers), so a click plays nothing and moves the cursor to 0 ms (after a Cancel
    // of the question, 900 ms of a fresh view's second), and Play plays nothing.
    void failedLoad_data()
    {
        QTest::addColumn<Load>("row");
        const auto row = [](const char* name, const Load& r) { QTest::newRow(name) << r; };
        namespace shown = mk::test::shown;
        const QString noData = shown::badWav.arg("Didn't find \"data\"");
        const QString noSamples = shown::badWav.arg("No samples");
        const QString locate = shown::locateSound.arg("Song.wav");
        const QList<int> none{0, 0, 1000, 1, 1000, 0, 1000, 500}, song{3500, 45, 617400, 45, 617355, 45, 617355, 0};
        const auto ok = mk::MessageAnswer::Ok;
        row("not RIFF", {"RIFX0000WAVE", 0, ok, false, shown::notWav, none});
        row("data at 10001", {dataAt(10001, QByteArray(8, 0)), 0, ok, false, noData, none});
        row("empty data chunk", {canonical(1, 8000, 8, QByteArray()), 0, ok, false, noSamples, none});
        row("measured as 0 ms", {{}, -1, ok, false, noSamples, none});
        row("326", {{}, 326, ok, false, shown::noSoundCard, none});
        row("263", {{}, 263, ok, false, shown::troubleWithFile.arg(263), none});
        row("6 Overflow", {{}, -6, ok, false, QString(), none});
        // A fresh view after a Cancel stands for a second of nothing.
        row("gone: cancel the question", {"/gone/Song.wav", 0, mk::MessageAnswer::Cancel, false, locate,
                                          {1000, 0, 1000, 1, 1000, 0, 1000, 500}});
        row("gone: cancel the dialog", {"/gone/Song.wav", 0, ok, false, locate, none});
        row("gone: pick another file", {"/gone/Song.wav", 0, ok, true, locate, song});
        row("gone: windows path", {"C:\\Sounds\\Song.wav", 0, ok, true, locate, song});
    }

    void failedLoad()
    {
        QFETCH(Load, row);
        const auto& [bytes, error, answer, pick, told, state] = row;
        Rig r;
        r.view.setcFileName(m_song);
        r.view.playFromCursor();
        QVERIFY(r.clock()->isActive());
        r.sound.commands.clear();
        r.sound.lengthError = std::max(error, 0);
        r.sound.lengthOverflows = error == -6;
        if (error == -1)
            r.sound.lengthMs = 0;
        r.dialogs.answers = {answer};
        r.dialogs.paths = {pick ? m_song : QString()};
        const bool gone = bytes.endsWith(".wav");
        const QString path = gone ? QString(bytes) : bytes.isEmpty() ? m_song : file(QStringLiteral("bad.wav"), bytes);
        QCOMPARE(mk::test::errorNumber([&] { r.view.setcFileName(path); }), told.isEmpty() ? 6 : 0);
        QCOMPARE(r.told(), told);
        QCOMPARE(r.dialogs.fileRequests.size(), gone && answer == mk::MessageAnswer::Ok ? 1 : 0);
        for (const mk::FileDialogRequest& f : r.dialogs.fileRequests)
            QCOMPARE(QStringList({f.title, f.filter, f.fileName}),
                     QStringList({"Locate Song.wav", "Wave Audio Files  *.wav|*.wav|All Files|*.*", "Song.wav"}));
        QCOMPARE(r.view.cFileName(), pick ? m_song : QStringLiteral("noSound"));
        QCOMPARE(r.state(), state);
        QVERIFY(!r.clock()->isActive());
        QCOMPARE(r.scrubs.count(), pick ? 2 : 1);
        if (pick) // a sound picked instead is loaded by the same path as any other
            return;
        if (gone) // the output stops before the question
            QCOMPARE(r.sound.commands.value(0).kind, QStringLiteral("stop"));
        r.sound.commands.clear();
        QTest::mouseClick(&r.view, Qt::LeftButton, {}, QPoint(900, 100));
        // 0 ms after a failed load, 900 after a Cancel.
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), state[0] * 9 / 10);
        r.view.playFromCursor();
        r.view.play();
        QVERIFY(r.sound.plays().isEmpty());
        QVERIFY(!r.view.playing());
    }

    // Scrubbing with the mouse, each kind of play with its clock and end, a loop, then a sound that starts late.
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
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 3500);

        // From the cursor: the output stopped first; the clock ends the play only after its end time, and never scrubs.
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

        // Every cursor time lies within the sound: left of its start (over a long header chunk: 8-bit mono at 1 kHz,
        // 2 s of samples after 5000 bytes) is 0 ms, snippets last 20 ms, and a play from there starts at 0 with the
        // clock counting the whole sound.
        const QByteArray junk = chunk("junk", QByteArray(5000, 'j'));
        const QString late = file(QStringLiteral("late.wav"), riff(fmt(1, 1000, 8) + junk + data(QByteArray(2000, 0))));
        r.sound.lengthMs = 2000;
        r.view.setcFileName(late);
        QVERIFY(r.view.cSoundStart() > 5000);
        r.view.setcDisplayStart(1); // only the header in view
        r.view.setcDisplayEnd(5000);
        r.view.setcCurrentTimeInMilliseconds(1000);
        r.view.setcCurrentTime(1);
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 0);
        r.plays();
        QTest::mouseClick(&r.view, Qt::LeftButton, {}, QPoint(0, 100));
        QCOMPARE(r.view.cCurrentTimeInMilliseconds(), 0);
        QCOMPARE(r.plays(), QStringList{"0-20w"});
        const qint64 now = r.ticks.now();
        r.view.playFromCursor();
        QCOMPARE(r.plays(), QStringList{"0--1"});
        QCOMPARE(r.view.playStartMs(), 0);
        QCOMPARE(r.view.playEndTick(), now + 2000);
    }
};

QTEST_MAIN(tst_graphWindow)
#include "tst_graphWindow.moc"
