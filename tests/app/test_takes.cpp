// What was recorded, seen and taken back, in the real main window offscreen:
// the motion lanes' columns, gaps and cursor in step with the waveform's span
// (zoom and pan included), scrubbing from a lane, undo and redo of a recorded
// pass (tracks exact, the wire bytes of a playback unchanged), the history's
// memory bound, Import Sound's step, the show that undo and redo bring back
// (sound, track lengths, project file and title, the saved bytes, the mark
// for unsaved changes), the lanes' shown/hidden setting, and selecting,
// editing and drawing with the mouse, the menus and the keys.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>
#include <QUndoStack>
#include <QWindow>
#include <cmath>
#include <map>
#include <memory>

#include "app/LaneHeaders.h"
#include "app/EditSelection.h"
#include "app/EditTools.h"
#include "app/MotionLanes.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "link/MSComm.h"
#include "export/CdExport.h"
#include "link/SerialPorts.h"
#include "project/ProjectFile.h"
#include "sound/RecordingSound.h"
#include "sound/SndWrite.h"
#include "sound/TestWav.h"
#include "sound/graphWindow.h"
#include "support/Files.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"
#include "tracks/TrackEdits.h"

using mk::test::PseudoTerminal;
namespace lanes = mk::lanes;

namespace {

struct TrackState {
    std::vector<qint16> data;
    qint32 maxframe;
    friend bool operator==(const TrackState&, const TrackState&) = default;
};
using ShowState = std::array<TrackState, 8>;

struct Rig : mk::test::WindowRig {
    PseudoTerminal pty;

    Rig() { start(); }
    /// A window as the program starts it (again).
    void start()
    {
        w.reset();
        open({pty.slavePath(), "/nonexistent/b", "/nonexistent/c", "/nonexistent/d"});
        w->resize(1000, 760);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // Ctrl+Z is a window shortcut: the window must be the active one.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    // The window goes before the port it holds open.
    ~Rig() { w.reset(); }
    MotionLanes* lanes() const { return w->motionLanes(); }
    ::graphWindow* graph() const { return w->graphWindow(); }
    std::array<NewSlider*, 8> tracks() const
    {
        std::array<NewSlider*, 8> t{};
        for (int i = 0; i < 8; ++i)
            t[size_t(i)] = w->slider(i);
        return t;
    }
    /// A 10-second sound: frames 0 to 300. The file holds `bytes` of
    /// silence, as long as the sound only when the test exports it.
    void loadShow(const QString& name = QStringLiteral("show.wav"), qint32 ms = 10000, int bytes = 40000)
    {
        sound.lengthMs = ms;
        const QString path = dir.filePath(name);
        QVERIFY(testwav::write(path, testwav::canonical(2, 44100, 16, QByteArray(bytes, '\0'))));
        w->importSoundFile(path);
    }
    /// The bytes the CD export (as File > Export Project for CD Playback
    /// runs it) writes now.
    QByteArray exported(const QString& name)
    {
        const std::array<NewSlider*, 8> all = tracks();
        const std::span<NewSlider* const> shown(all);
        mk::cd::Progress progress;
        const QString path = dir.filePath(name);
        const auto r = mk::cd::exportForCd(graph()->cFileName(), path, w->slider(1)->maxframe(),
                                           [shown](qint32 f) { return mk::cd::frameMessage(shown, f); }, progress);
        return r.status == mk::cd::ExportResult::Status::Complete ? mk::test::readFile(path) : QByteArray();
    }
    /// A key typed into the window with the focus on a slider (in a name box
    /// Ctrl+Z undoes typing).
    void key(Qt::Key k, Qt::KeyboardModifiers m)
    {
        w->slider(0)->findChild<QSlider*>("slider")->setFocus();
        QTest::keyClick(w.get(), k, m);
    }
    /// The bytes of the project file saved now, as Save Project writes them
    /// (through the project codec: the command's progress window would take
    /// the keyboard from the main window).
    QByteArray saved(const QString& name)
    {
        const mk::project::Project p = mk::project::snapshot<NewSlider>(
            tracks(), w->lastTrackIndex(),
            mk::project::lastFrame<NewSlider>(tracks(), w->lastTrackIndex(), &NewSlider::datalength),
            graph()->cFileName(), 10, false);
        const QString path = dir.filePath(name);
        return mk::project::saveFile(path, p).ok ? mk::test::readFile(path) : QByteArray();
    }
    /// What undo and redo must bring back: the project file's bytes as the
    /// show would be saved now, the sound, and the file and title it belongs to.
    QStringList shown()
    {
        const mk::project::Project p = mk::project::snapshot<NewSlider>(
            tracks(), w->lastTrackIndex(), w->slider(1)->datalength(), graph()->cFileName(),
            w->countdownTimer()->duration(), w->countdownTimer()->enabled());
        const QString path = dir.filePath(QStringLiteral("shown.pjt"));
        return {mk::project::saveFile(path, p).ok ? mk::test::readFile(path).toBase64() : QString(),
                graph()->cFileName(), QString::number(w->hasSound()), w->projectFile(), w->windowTitle()};
    }
    ShowState state() const
    {
        ShowState s;
        for (int i = 0; i < 8; ++i)
            s[size_t(i)] = {w->slider(i)->track().recording(), w->slider(i)->maxframe()};
        return s;
    }
    /// Plays from the cursor for `frames` frames, holding track `track`'s
    /// slider at `value` from frame 10 to 40 when track >= 0. Returns the
    /// frame messages written from Play on.
    QByteArray pass(int track, int value, int frames = 60)
    {
        if (w->MSComm()->PortOpen())
            pty.read(1 << 20, 50); // what scrubbing sent before
        w->playClicked();
        const qint64 start = w->SMPTEtimer()->startTick();
        QSlider* s = track >= 0 ? w->slider(track)->findChild<QSlider*>("slider") : nullptr;
        const bool open = w->MSComm()->PortOpen();
        QByteArray wire = open ? pty.read(24) : QByteArray(); // the pose Play starts from
        for (int f = 1; f <= frames; ++f) {
            if (s && f == 10) {
                QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
                s->setValue(value);
            }
            if (s && f == 40)
                QTest::mouseRelease(s, Qt::LeftButton, {}, s->rect().center());
            // The first millisecond at which the clock shows frame f.
            ticks.set(start + qint64(std::ceil(f * 100.0 / 3)));
            w->SMPTEtimer()->tick();
            if (w->SMPTEtimer()->frameNumber() != f)
                qFatal("the clock shows frame %d, not %d", w->SMPTEtimer()->frameNumber(), f);
            // Read as the frames go, as a controller would: the port drops
            // messages that a line not draining would pile up.
            if (open)
                wire += pty.read(24);
        }
        w->stopClicked();
        return wire;
    }
    /// Every frame message of a playback of the first `frames` frames.
    QByteArray playback(int frames = 60)
    {
        w->rewindClicked();
        // From the same pose every time: frames with nothing recorded keep
        // the servo where it was.
        for (int i = 0; i < 8; ++i)
            w->slider(i)->setPosition(128);
        return pass(-1, 0, frames);
    }
    QImage lanesImage() const { return lanes()->grab().toImage(); }
};

/// What the lanes must show for the data of one track over their span.
std::vector<lanes::ColumnRange> expectedColumns(const MotionLanes* l, const std::vector<qint16>& data)
{
    std::vector<lanes::ColumnRange> out;
    const lanes::FrameWindow w = l->window();
    for (int c = 0; c < l->width(); ++c) {
        const lanes::FrameSpan s = lanes::columnFrames(w.first, w.last, l->width(), c);
        out.push_back(lanes::rangeOf(data, s.from, s.to));
    }
    return out;
}

/// The span the waveform shows, in frames.
lanes::FrameWindow waveformSpan(const ::graphWindow* g)
{
    return lanes::frameWindow(true, g->cDisplayStart(), g->cDisplayEnd(), g->cSoundStart(), g->cSoundLength(),
                              g->cSoundLengthInMilliseconds(), 0);
}

} // namespace

class TestTakes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit")).clear();
    }

    void lanesDrawTracksInStepWithTheWaveform()
    {
        Rig rig;
        rig.loadShow();
        MotionLanes* l = rig.lanes();
        QVERIFY(l->isVisible());
        QCOMPARE(l->width(), rig.graph()->width());
        // Track 5: nothing up to frame 99, a ramp 100..199, a single frame at 250.
        NewSlider* t = rig.w->slider(5);
        t->setMinValue(10);
        t->setMaxValue(250);
        for (int f = 100; f < 200; ++f) {
            t->setDataStartPoint(f);
            t->setData(qint16(20 + f));
        }
        t->setDataStartPoint(250);
        t->setData(240);
        l->resync();

        for (const char* view : {"whole", "zoomed", "panned"}) {
            if (QByteArray(view) == "zoomed") {
                rig.graph()->setczoom(200);
                rig.graph()->reDraw();
            } else if (QByteArray(view) == "panned") {
                rig.graph()->setcpan(7000);
                rig.graph()->reDraw();
            }
            // The lanes follow the waveform's redraw by themselves.
            const lanes::FrameWindow span = waveformSpan(rig.graph());
            QTRY_COMPARE(l->window().first, span.first);
            QCOMPARE(l->window().last, span.last);
            const auto& cols = l->laneColumns(5);
            QVERIFY2(cols == expectedColumns(l, t->track().recording()), view);
            QVERIFY(std::all_of(cols.begin(), cols.end(), [](auto r) { return r.empty() || r.lo >= 120; }));

            const QImage img = rig.lanesImage();
            const QRect lane = l->laneRect(5);
            int drawn = 0;
            for (int c = 120; c < l->width(); ++c) { // right of the name
                if (c == l->cursorColumn() || c == l->cursorColumn() + 1)
                    continue;
                const lanes::ColumnRange r = cols[size_t(c)];
                const bool prevEmpty = c == 0 || cols[size_t(c - 1)].empty();
                if (r.empty()) {
                    // A gap: the lane's own colour from top to bottom, no line at position 0.
                    for (int y = lane.top(); y <= lane.bottom(); ++y)
                        QCOMPARE(img.pixelColor(c, y), img.pixelColor(c, lane.top()));
                } else {
                    // The line touches the column's max and min; a line that
                    // starts here runs exactly from the one to the other.
                    QVERIFY(img.pixelColor(c, l->rowOf(5, r.hi)) != img.pixelColor(c, lane.top()));
                    QVERIFY(img.pixelColor(c, l->rowOf(5, r.lo)) != img.pixelColor(c, lane.top()));
                    if (prevEmpty && l->rowOf(5, r.hi) > lane.top())
                        QCOMPARE(img.pixelColor(c, l->rowOf(5, r.hi) - 1), img.pixelColor(c, lane.top()));
                    if (prevEmpty && l->rowOf(5, r.lo) < lane.bottom())
                        QCOMPARE(img.pixelColor(c, l->rowOf(5, r.lo) + 1), img.pixelColor(c, lane.top()));
                    ++drawn;
                }
            }
            QVERIFY(drawn > 100);
            // Other lanes are empty; the cursor stands where the waveform's does.
            QVERIFY(std::all_of(l->laneColumns(0).begin(), l->laneColumns(0).end(), [](auto r) { return r.empty(); }));
            QTRY_COMPARE(l->cursorColumn(), rig.graph()->findChild<QWidget*>("cursor")->x());
        }

        // The cursor follows a move that raises no event (Rewind), and
        // inactive lanes are drawn dimmed.
        rig.graph()->setczoom(1000);
        rig.graph()->reDraw();
        rig.graph()->setcCurrentTimeInMilliseconds(5000);
        QTRY_COMPARE(l->cursorColumn(), rig.graph()->findChild<QWidget*>("cursor")->x());
        QVERIFY(l->cursorColumn() > 400);
        const int c250 = int((250 - l->window().first) / (l->window().last - l->window().first) * l->width());
        const int bright = rig.lanesImage().pixelColor(c250, l->rowOf(5, 240)).green();
        QCOMPARE(bright, 220);
        rig.w->rewindClicked();
        QTRY_COMPARE(l->cursorColumn(), rig.graph()->findChild<QWidget*>("cursor")->x());
        QVERIFY(l->cursorColumn() < 5);
        rig.w->slider(5)->findChild<QCheckBox*>("Active")->setChecked(false);
        QVERIFY(rig.lanesImage().pixelColor(c250, l->rowOf(5, 240)).green() < bright);
    }

    void scrubFromALaneIsScrubbingTheWaveform()
    {
        Rig rig;
        rig.loadShow();
        rig.graph()->setczoom(400);
        rig.graph()->reDraw();
        for (int x : {0, 137, 512, 899}) {
            QTest::mousePress(rig.lanes(), Qt::LeftButton, {}, QPoint(x, 30));
            const qint32 fromLane = rig.graph()->cCurrentTime();
            const qint32 frameFromLane = rig.w->SMPTEtimer()->frameNumber();
            QTest::mouseRelease(rig.lanes(), Qt::LeftButton, {}, QPoint(x, 30));
            rig.w->rewindClicked();
            QTest::mousePress(rig.graph(), Qt::LeftButton, {}, QPoint(x, 30));
            QTest::mouseRelease(rig.graph(), Qt::LeftButton, {}, QPoint(x, 30));
            QCOMPARE(fromLane, rig.graph()->cCurrentTime());
            QCOMPARE(frameFromLane, rig.w->SMPTEtimer()->frameNumber());
        }
        // A drag goes the same way: the cursor ends where the mouse is.
        const int before = rig.sound.plays().size();
        QTest::mousePress(rig.lanes(), Qt::LeftButton, {}, QPoint(100, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(300, 5), rig.lanes()->mapToGlobal(QPointF(300, 5)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(rig.lanes(), &move);
        QCOMPARE(rig.sound.plays().size(), before + 2); // a snippet for the press and one for the move
        const qint32 dragged = rig.graph()->cCurrentTime();
        QTest::mouseRelease(rig.lanes(), Qt::LeftButton, {}, QPoint(300, 5));
        rig.w->rewindClicked();
        QTest::mousePress(rig.graph(), Qt::LeftButton, {}, QPoint(300, 5));
        QCOMPARE(dragged, rig.graph()->cCurrentTime());
    }

    void undoAndRedoATake()
    {
        Rig rig;
        rig.w->ports().selectPort(1);
        QVERIFY(rig.w->MSComm()->PortOpen());
        rig.loadShow(QStringLiteral("show.wav"), 10000, 1764000);
        mk::TakeHistory& h = rig.w->takes();
        h.restart(); // the show as started
        QAction* undo = h.undoAction();
        QAction* redo = h.redoAction();
        QVERIFY(!undo->isEnabled());
        QVERIFY(!redo->isEnabled());

        rig.pass(2, 140); // a first take on track 2
        const ShowState first = rig.state();
        const QByteArray wireFirst = rig.playback();
        const QByteArray cdFirst = rig.exported(QStringLiteral("first.wav"));
        const QByteArray projectFirst = rig.saved(QStringLiteral("first.pjt"));
        QVERIFY(cdFirst.size() > 1764000);
        QVERIFY(projectFirst.size() > 8 * 301 * 2);
        rig.w->rewindClicked();
        rig.pass(6, 200); // the take to undo, on track 6...
        QCOMPARE(h.stack().count(), 2);
        QCOMPARE(h.stack().undoText(), QStringLiteral("Take"));
        QVERIFY(undo->toolTip().contains(QStringLiteral("Ctrl+Z")));
        const ShowState second = rig.state();
        QVERIFY(second != first);
        // ...which the lanes drew as it was recorded, without being told.
        const auto& drawn = rig.lanes()->laneColumns(6);
        QVERIFY(std::count_if(drawn.begin(), drawn.end(), [](auto r) { return !r.empty(); }) > 50);
        const QByteArray wireSecond = rig.playback();
        QCOMPARE(wireSecond.size(), 61 * 24);
        QVERIFY(wireSecond != wireFirst);
        const QByteArray cdSecond = rig.exported(QStringLiteral("second.wav"));
        const QByteArray projectSecond = rig.saved(QStringLiteral("second.pjt"));
        QVERIFY(cdSecond != cdFirst);
        QVERIFY(projectSecond != projectFirst);

        // Disabled while playing: Ctrl+Z changes nothing.
        rig.w->playClicked();
        QVERIFY(!undo->isEnabled());
        rig.key(Qt::Key_Z, Qt::ControlModifier);
        rig.w->stopClicked();
        QCOMPARE(rig.state(), second);
        QVERIFY(undo->isEnabled());

        rig.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rig.state(), first);
        QVERIFY(redo->isEnabled());
        QVERIFY(std::all_of(drawn.begin(), drawn.end(), [](auto r) { return r.empty(); }));
        QCOMPARE(rig.playback(), wireFirst);
        // Undone, the show writes the same export and project bytes as before the take...
        QVERIFY(rig.exported(QStringLiteral("undone.wav")) == cdFirst);
        QVERIFY(rig.saved(QStringLiteral("undone.pjt")) == projectFirst);
        rig.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(rig.state(), second);
        rig.key(Qt::Key_Z, Qt::ControlModifier);
        rig.key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(rig.state(), second);
        // ...and after the round trip the same as after it: wire, export, project.
        QCOMPARE(rig.playback(), wireSecond);
        QVERIFY(rig.exported(QStringLiteral("redone.wav")) == cdSecond);
        QVERIFY(rig.saved(QStringLiteral("redone.pjt")) == projectSecond);
        // Saving keeps the history.
        QCOMPARE(h.stack().count(), 2);
        QVERIFY(undo->isEnabled());
        // The buttons beside the transport do the same.
        rig.w->findChild<QToolButton*>("undoTakeButton")->click();
        rig.w->findChild<QToolButton*>("undoTakeButton")->click();
        const auto undone = rig.state();
        QVERIFY(std::all_of(undone.begin(), undone.end(),
                            [](const TrackState& t) { return std::count(t.data.begin(), t.data.end(), 0) == 301; }));
        QVERIFY(!undo->isEnabled());
        // A playback that records nothing adds no step.
        rig.playback();
        QCOMPARE(h.stack().count(), 2);
    }

    void memoryIsBoundedDroppingTheOldestSteps()
    {
        Rig rig;
        rig.loadShow(QStringLiteral("show.wav"), 600000); // ten minutes: 18000 frames
        mk::TakeHistory& h = rig.w->takes();
        h.restart();
        // A step per pass, each changing one stretch of 1000 frames of a track.
        auto take = [&](int n) {
            NewSlider* t = rig.w->slider(n % 8);
            t->setDataStartPoint((n * 1000) % 17000);
            for (int f = 0; f < 1000; ++f)
                t->setData(qint16(1 + (n + f) % 250));
            h.endPass();
        };
        for (int n = 0; n < 120; ++n)
            take(n);
        QCOMPARE(h.stack().count(), 120); // at least a hundred steps of takes
        QVERIFY(h.memoryHeld() < 120 * 5000);

        const qint64 step = h.memoryHeld() / 120;
        h.setMemoryLimit(10 * step);
        QVERIFY(h.memoryHeld() <= 10 * step);
        QCOMPARE(h.stack().count(), 10);
        for (int n = 120; n < 130; ++n)
            take(n);
        QCOMPARE(h.stack().count(), 10);
        // The kept steps are the newest: undoing all of them goes back to
        // the state after step 119, which stays for good.
        for (int i = 0; i < 10; ++i)
            h.undo();
        QVERIFY(!h.stack().canUndo());
        NewSlider* t = rig.w->slider(119 % 8);
        QCOMPARE(t->track().at((119 * 1000) % 17000), qint16(1 + 119 % 250));
        for (int i = 0; i < 10; ++i)
            h.redo();
        QCOMPARE(rig.w->slider(129 % 8)->track().at((129 * 1000) % 17000), qint16(1 + 129 % 250));
    }

    void importSoundThatCutsIsOneStep()
    {
        Rig rig;
        rig.loadShow(QStringLiteral("long.wav"), 10000);
        const QString longSound = rig.graph()->cFileName();
        rig.w->takes().restart();
        for (int i = 0; i < 8; ++i) {
            rig.w->slider(i)->setDataStartPoint(250);
            rig.w->slider(i)->setData(qint16(100 + i));
        }
        rig.w->takes().endPass();
        const ShowState before = rig.state();
        QCOMPARE(rig.w->takes().stack().count(), 1);

        rig.loadShow(QStringLiteral("short.wav"), 2000); // frames 0..60: frame 250 is cut
        const ShowState cut = rig.state();
        QCOMPARE(rig.w->takes().stack().count(), 2);
        QCOMPARE(rig.w->takes().stack().undoText(), QStringLiteral("Import Sound"));
        rig.w->takes().undo();
        QCOMPARE(rig.state(), before);
        QCOMPARE(rig.graph()->cFileName(), longSound);
        QVERIFY(rig.w->hasSound());
        QCOMPARE(rig.lanes()->laneColumns(3), expectedColumns(rig.lanes(), before[3].data));
        rig.w->takes().redo();
        QCOMPARE(rig.state(), cut);
        QVERIFY(rig.graph()->cFileName().endsWith(QStringLiteral("short.wav")));

        // A longer sound cuts nothing, but is a step all the same.
        rig.loadShow(QStringLiteral("longer.wav"), 20000);
        QCOMPARE(rig.w->takes().stack().count(), 3);
        QCOMPARE(rig.w->slider(0)->maxframe(), 600);
    }

    /// Scripts of commands, undos and redos. mark:X remembers the show,
    /// is:X compares with it; saved:F=X compares file F with show X; clean and dirty look at the mark
    /// for unsaved changes in the title the window system shows.
    void undoAndRedoBringTheShowBack_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::newRow("a sound and its track lengths come back together")
            << QStringList{"sound:10", "take:2", "mark:a", "sound:20", "mark:b", "undo", "is:a",
                           "undo",     "redo",   "is:a",   "redo",     "is:b"};
        QTest::newRow("undoing Open puts the sound and lengths back")
            << QStringList{"sound:4", "take:1", "saveas:a.pjt", "new",  "sound:10", "mark:n",
                           "open:a.pjt", "mark:o", "sound:20",  "mark:i", "undo", "is:o",
                           "undo",    "is:n",   "redo",         "redo", "is:i"};
        QTest::newRow("a state keeps the file it was saved to")
            << QStringList{"sound:10", "saveas:a.pjt", "new",  "open:a.pjt", "saveas:b.pjt", "take:2",
                           "mark:t",   "undo",         "undo", "redo",       "redo",         "is:t",
                           "save",     "saved:b.pjt=t"};
        QTest::newRow("the project opened at start-up is no step")
            << QStringList{"sound:10", "take:1", "saveas:a.pjt", "startup:a.pjt", "mark:s", "clean", "undo", "is:s"};
        QTest::newRow("a play that moved nothing is no step")
            << QStringList{"mark:fresh", "take:3", "play", "undo", "is:fresh"};
        QTest::newRow("undo everything, redo everything")
            << QStringList{"sound:10", "take:1", "saveas:a.pjt", "startup:a.pjt", "mark:first", "take:2",
                           "sound:20", "countdown", "take:3", "save", "mark:last", "undo", "undo", "undo",
                           "undo", "undo", "is:first", "redo", "redo", "redo", "redo", "redo", "is:last",
                           "saved:a.pjt=last"};
        QTest::newRow("the title marks unsaved changes")
            << QStringList{"clean", "sound:10", "dirty", "saveas:a.pjt", "clean", "take:1", "dirty", "save",
                           "clean", "countdown", "dirty", "undo", "clean", "redo", "dirty"};
    }

    void undoAndRedoBringTheShowBack()
    {
        QFETCH(QStringList, script);
        Rig rig;
        std::map<QString, QStringList> marks;
        for (const QString& step : script) {
            const QString op = step.section(':', 0, 0);
            const QString arg = step.section(':', 1);
            if (op == "sound") {
                rig.loadShow(QStringLiteral("s%1.wav").arg(arg), arg.toInt() * 1000);
            } else if (op == "take" || op == "play") {
                rig.w->rewindClicked();
                rig.pass(op == "take" ? arg.toInt() : -1, 100 + arg.toInt(), op == "take" ? 60 : 90);
            } else if (op == "countdown") {
                QTest::keyClick(rig.w->countdownTimer()->findChild<QLineEdit*>(), Qt::Key_5);
            } else if (op == "saveas") {
                rig.dialogs.paths << rig.path(arg);
                QVERIFY(rig.w->saveProjectAs());
            } else if (op == "save") {
                QVERIFY(rig.w->saveProject());
            } else if (op == "open") {
                rig.dialogs.paths << rig.path(arg);
                rig.w->openProject();
            } else if (op == "new") {
                rig.w->newProject();
            } else if (op == "startup") {
                rig.start();
                QCOMPARE(rig.w->openStartUpProject(rig.path(arg)), mk::project::ReadResult::Status::Ok);
            } else if (op == "undo" || op == "redo") {
                // Not Ctrl+Z: the progress window of a save or an open may hold the keyboard.
                op == "undo" ? rig.w->takes().undo() : rig.w->takes().redo();
            } else if (op == "mark") {
                marks[arg] = rig.shown();
            } else if (op == "is") {
                QVERIFY2(rig.shown() == marks.at(arg), qPrintable(step + " " + rig.w->windowTitle()));
            } else if (op == "saved") {
                const QByteArray file = mk::test::readFile(rig.path(arg.section('=', 0, 0)));
                QVERIFY2(file.toBase64() == marks.at(arg.section('=', 1)).at(0), qPrintable(step));
            } else if (op == "clean" || op == "dirty") {
                QTRY_COMPARE(rig.w->isWindowModified(), op == "dirty");
                QCOMPARE(rig.w->windowHandle()->title().endsWith('*'), op == "dirty");
            } else {
                QFAIL(qPrintable(step));
            }
        }
        // No message but New Project's question.
        for (const auto& m : rig.dialogs.messages)
            QCOMPARE(m.title, QStringLiteral("Warning"));
    }

    void openAndNewProjectAreSteps()
    {
        Rig rig;
        rig.loadShow(QStringLiteral("show.wav"), 10000, 1764000);
        mk::TakeHistory& h = rig.w->takes();
        h.restart(); // the show as started
        rig.w->slider(4)->setServoName(QStringLiteral("Jaw"));
        rig.w->slider(4)->setMinValue(60);
        rig.w->slider(4)->setIsReversed(true);
        rig.pass(4, 129);
        const QString a = rig.path(QStringLiteral("a.pjt"));
        rig.dialogs.paths << a;
        QVERIFY(rig.w->saveProjectAs());
        QVERIFY(rig.w->saveProject());
        const QByteArray savedA = mk::test::readFile(a);
        const QByteArray cd = rig.exported(QStringLiteral("a.wav"));
        const ShowState recorded = rig.state();
        const QString sound = rig.graph()->cFileName();
        const QString title = rig.w->windowTitle();
        const int steps = h.stack().count();

        rig.w->newProject(); // the warning is answered Yes
        QCOMPARE(h.stack().count(), steps + 1);
        QCOMPARE(h.stack().undoText(), QStringLiteral("New Project"));
        const ShowState fresh = rig.state();
        QVERIFY(fresh != recorded);
        h.undo();
        QCOMPARE(rig.state(), recorded);
        QCOMPARE(rig.w->slider(4)->servoName().trimmed(), QStringLiteral("Jaw"));
        QCOMPARE(rig.w->slider(4)->minValue(), qint16(60));
        QVERIFY(rig.w->slider(4)->isReversed());
        QCOMPARE(rig.graph()->cFileName(), sound);
        QVERIFY(rig.w->hasSound());
        QCOMPARE(rig.w->projectFile(), a);
        QCOMPARE(rig.w->windowTitle(), title);
        // Saved and exported again, the show gives the same bytes.
        QVERIFY(rig.w->saveProject());
        QCOMPARE(mk::test::readFile(a), savedA);
        QVERIFY(rig.exported(QStringLiteral("b.wav")) == cd);
        h.redo();
        QCOMPARE(rig.state(), fresh);
        QCOMPARE(rig.graph()->cFileName(), QStringLiteral("noSound"));

        rig.dialogs.paths << a;
        rig.w->openProject();
        QCOMPARE(h.stack().undoText(), QStringLiteral("Open Project"));
        const ShowState opened = rig.state();
        QCOMPARE(rig.w->slider(4)->servoName().trimmed(), QStringLiteral("Jaw"));
        h.undo();
        QCOMPARE(rig.state(), fresh);
        QCOMPARE(rig.w->slider(4)->servoName().trimmed(), QStringLiteral("Servo Name"));
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));
        h.redo();
        QCOMPARE(rig.state(), opened);
        QCOMPARE(rig.w->projectFile(), a);
        QVERIFY(rig.w->saveProject());
        QCOMPARE(mk::test::readFile(a), savedA);
    }

    void zoomPanOpenRecentAndDrops()
    {
        QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit")).remove("files/recentProjects");
        Rig rig;
        rig.loadShow(QStringLiteral("show.wav"), 10000, 40000); // frames 0..300
        ::graphWindow* g = rig.graph();
        MotionLanes* l = rig.lanes();
        QScrollBar* bar = rig.w->findChild<QScrollBar*>("viewScrollBar");
        QVERIFY(bar && bar->isVisible());
        QCOMPARE(l->width(), g->width());
        const auto wheel = [](QWidget* over, QPoint at, QPoint angle, Qt::KeyboardModifiers m, QPoint pixels = {}) {
            QWheelEvent e(at, over->mapToGlobal(at), pixels, angle, Qt::NoButton, m, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(over, &e);
        };
        const auto frameAt = [&](double x) {
            const lanes::FrameWindow s = waveformSpan(g);
            return s.first + x / g->width() * (s.last - s.first);
        };
        // Ctrl+wheel over the lanes and the waveform zooms around the pointer
        // down to 8 pixels a frame, the frame under the pointer staying put.
        const int x = g->width() / 4;
        const double underPointer = frameAt(x);
        for (int notch = 0; notch < 12; ++notch)
            wheel(notch % 2 ? static_cast<QWidget*>(g) : l, QPoint(x, 10), QPoint(0, 120), Qt::ControlModifier);
        const lanes::FrameWindow zoomed = waveformSpan(g);
        QVERIFY(std::abs(g->width() / (zoomed.last - zoomed.first) - 8) < 0.2);
        QVERIFY(std::abs(frameAt(x) - underPointer) < 0.5);
        QTRY_COMPARE(l->window().first, zoomed.first);
        QCOMPARE(bar->value(), g->cDisplayStart());
        QCOMPARE(bar->pageStep(), g->cDisplayEnd() - g->cDisplayStart());
        // The wheel pans a tenth of the view a notch; a touchpad moves the
        // picture with the fingers.
        const qint32 width = g->cDisplayEnd() - g->cDisplayStart();
        const qint32 before = g->cDisplayStart();
        wheel(l, QPoint(x, 10), QPoint(0, -120), Qt::NoModifier);
        QVERIFY(std::abs(g->cDisplayStart() - (before + width / 10)) <= 2);
        wheel(g, QPoint(x, 10), {}, Qt::NoModifier, QPoint(g->width() / 10, 0));
        QVERIFY(std::abs(g->cDisplayStart() - before) <= 4);
        QCOMPARE(g->cDisplayEnd() - g->cDisplayStart(), width);
        // The scroll bar moves the view; 0 shows the whole sound again.
        bar->setValue(bar->maximum());
        QCOMPARE(g->cDisplayEnd(), g->cSoundEnd());
        rig.key(Qt::Key_0, Qt::NoModifier);
        QCOMPARE(g->cDisplayStart(), g->cSoundStart());
        QCOMPARE(g->cDisplayEnd(), g->cSoundEnd());
        QCOMPARE(g->czoom(), qint16(1000));
        // + zooms around the cursor, and the playing cursor turns the pages.
        rig.key(Qt::Key_Plus, Qt::NoModifier);
        rig.key(Qt::Key_Plus, Qt::NoModifier);
        QCOMPARE(g->cDisplayStart(), g->cSoundStart());
        QVERIFY(g->cDisplayEnd() - g->cDisplayStart() < (g->cSoundEnd() - g->cSoundStart()) / 2);
        rig.w->playClicked();
        rig.ticks.set(g->playStartTick() + 6000);
        g->playUpdateTick();
        QVERIFY(g->cDisplayStart() <= g->cCurrentTime() && g->cCurrentTime() < g->cDisplayEnd());
        rig.w->stopClicked();

        // Open Recent lists what was opened and saved, newest first, a
        // project no longer there greyed; choosing one opens it.
        const QString a = rig.path(QStringLiteral("a.pjt"));
        const QString b = rig.path(QStringLiteral("b.pjt"));
        rig.saved(QStringLiteral("a.pjt"));
        rig.saved(QStringLiteral("b.pjt"));
        const QString gone = rig.path(QStringLiteral("gone.pjt"));
        QFile::copy(a, gone);
        for (const QString& p : {gone, a, b})
            QCOMPARE(rig.w->openProjectFile(p), mk::project::ReadResult::Status::Ok);
        QFile::remove(gone);
        auto* recent = rig.w->menuBar()->findChild<QMenu*>("openRecentMenu");
        QMetaObject::invokeMethod(recent, "aboutToShow");
        QStringList items;
        for (QAction* item : recent->actions())
            items << item->text() + (item->isEnabled() ? "" : " (greyed)");
        QCOMPARE(items, (QStringList{"&1 " + QDir::toNativeSeparators(b), "&2 " + QDir::toNativeSeparators(a),
                                     "&3 " + QDir::toNativeSeparators(gone) + " (greyed)"}));
        recent->actions().at(1)->trigger();
        QCOMPARE(rig.w->projectFile(), a);

        // A project dropped on the window opens; a sound dropped imports.
        const auto drop = [&](const QString& path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            const QPoint at = rig.w->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(rig.w.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(rig.w.get(), &dropped);
        };
        drop(b);
        QCOMPARE(rig.w->projectFile(), b);
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - b.pjt[*]"));
        QCOMPARE(rig.w->recentProjects().first(), QFileInfo(b).absoluteFilePath());
        const QString other = rig.path(QStringLiteral("other.wav"));
        QVERIFY(testwav::write(other, testwav::canonical(2, 44100, 16, QByteArray(8000, '\0'))));
        drop(other);
        QCOMPARE(rig.graph()->cFileName(), other);
    }

    void laneHeadersToolTipsAndSliderEnds()
    {
        Rig rig;
        rig.loadShow();
        NewSlider* t = rig.w->slider(2);
        t->setServoName(QStringLiteral("Jaw"));
        t->setMinValue(40);
        t->setMaxValue(200);
        t->setIsReversed(true);
        t->setDataStartPoint(0);
        t->setData(150);
        rig.lanes()->resync();
        rig.graph()->setcCurrentTimeInMilliseconds(5000); // the cursor away from frame 0
        LaneHeaders* h = rig.w->laneHeaders();
        QCOMPARE(h->text(2), QStringLiteral("2 Jaw\t40–200 rev"));
        // Beside the lanes, not over them: frame 0 is drawn in column 0.
        QCOMPARE(h->geometry().right() + 1, rig.lanes()->x());
        QCOMPARE(h->y(), rig.lanes()->y());
        QCOMPARE(rig.lanes()->laneColumns(2).front(), (lanes::ColumnRange{150, 150}));
        QVERIFY(rig.lanesImage().pixelColor(0, rig.lanes()->rowOf(2, 150)).green() > 200);
        QCOMPARE(t->findChild<QLabel*>("rangeTop")->text(), QStringLiteral("200"));
        QCOMPARE(t->findChild<QLabel*>("rangeBottom")->text(), QStringLiteral("40"));
        QCOMPARE(h->laneToolTip(QPoint(0, rig.lanes()->laneRect(2).center().y())),
                 QStringLiteral("Servo 2, frame 0 (00:00:00:00): position 150"));
        QCOMPARE(h->laneToolTip(QPoint(rig.lanes()->width() - 1, rig.lanes()->laneRect(2).center().y())),
                 QStringLiteral("Servo 2, frame 299 (00:00:09:29): nothing recorded"));
    }

    void lanesShownOrHiddenIsKeptBetweenRuns()
    {
        {
            Rig rig;
            auto* box = rig.w->findChild<QCheckBox*>("motionLanesShown");
            QVERIFY(box && box->isChecked());
            box->setChecked(false);
            QVERIFY(!rig.lanes()->isVisible());
        }
        {
            Rig rig;
            QVERIFY(!rig.lanes()->isVisible());
            auto* box = rig.w->findChild<QCheckBox*>("motionLanesShown");
            QVERIFY(!box->isChecked());
            // Shown again, the lanes catch up with what changed while hidden.
            rig.w->slider(1)->setDataStartPoint(1);
            rig.w->slider(1)->setData(129);
            box->setChecked(true);
            QVERIFY(rig.lanes()->isVisible());
            QCOMPARE(rig.lanes()->laneColumns(1), expectedColumns(rig.lanes(), rig.w->slider(1)->track().recording()));
        }
        QVERIFY(QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit"))
                    .value(QStringLiteral("view/motionLanesShown"))
                    .toBool());
    }

    // Edit > Jaw from Sound on a sound with a burst of voice at frames 30 to
    // 59: the preview writes only the chosen servo, follows the closed side,
    // Apply is one undo step, Undo restores the recording exactly and
    // Cancel leaves nothing behind.
    void jawFromSound()
    {
        Rig rig;
        rig.sound.lengthMs = 4000;
        const QString path = rig.dir.filePath("talk.wav");
        QVERIFY(sndtest::write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 4.0, [](double t) {
            return t >= 1 && t < 2 ? 0.5 * std::sin(2 * M_PI * 500 * t) : 0.0;
        }));
        rig.w->importSoundFile(path);
        NewSlider* jaw = rig.w->slider(1);
        jaw->setMaxValue(200);
        jaw->setMinValue(40);
        for (int i = 0; i < 2; ++i) {
            rig.w->slider(i)->setDataStartPoint(0);
            for (int f = 0; f <= 120; ++f)
                rig.w->slider(i)->setData(qint16(100 + f % 7));
        }
        const std::vector<qint16> recorded = jaw->track().recording();
        auto at = [jaw](int f) { return jaw->track().recording()[size_t(f)]; };

        rig.trigger("jawFromSound");
        auto* d = rig.w->findChild<QDialog*>("jawFromSound");
        QVERIFY(d && d->isVisible());
        const int steps = rig.w->takes().stack().count();
        QVERIFY(rig.w->slider(0)->track().recording() != recorded); // the preview on servo 0
        d->findChild<QComboBox*>("servo")->setCurrentIndex(1);
        QCOMPARE(rig.w->slider(0)->track().recording(), recorded);
        QCOMPARE(at(10), 40);
        QCOMPARE(at(40), 200);
        QCOMPARE(rig.lanes()->laneColumns(1).empty(), false);
        d->findChild<QComboBox*>("closed")->setCurrentIndex(1);
        QCOMPARE(at(10), 200);
        QCOMPARE(at(40), 40);
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
        QCOMPARE(rig.w->takes().stack().count(), steps + 1);
        QCOMPARE(rig.w->takes().stack().undoText(), QStringLiteral("Jaw from Sound"));
        const std::vector<qint16> applied = jaw->track().recording();
        rig.w->takes().undo();
        QCOMPARE(jaw->track().recording(), recorded);
        rig.w->takes().redo();
        QCOMPARE(jaw->track().recording(), applied);

        rig.trigger("jawFromSound");
        // The dialog applied above may still wait for its deferred deletion.
        for (QDialog* open : rig.w->findChildren<QDialog*>("jawFromSound"))
            if (open->isVisible())
                d = open;
        d->findChild<QComboBox*>("servo")->setCurrentIndex(1);
        QVERIFY(jaw->track().recording() != applied);
        d->reject();
        QCOMPARE(jaw->track().recording(), applied);
        QCOMPARE(rig.w->takes().stack().count(), steps + 1);
    }

    void editASelection()
    {
        namespace edits = mk::edits;
        Rig rig;
        rig.loadShow();
        NewSlider* jaw = rig.w->slider(0);
        NewSlider* neck = rig.w->slider(3);
        jaw->setMaxValue(250);
        jaw->setMinValue(20);
        neck->setMaxValue(180);
        neck->setMinValue(60);
        NewSlider* brow = rig.w->slider(5);
        brow->setMaxValue(240);
        brow->setMinValue(40);
        jaw->setDataStartPoint(0);
        for (int f = 0; f <= 300; ++f)
            jaw->setData(f % 50 == 7 ? qint16(0) : qint16(60 + f * 37 % 140));
        rig.w->takes().commit(QStringLiteral("Recording"));
        const int steps = rig.w->takes().stack().count();
        const QByteArray original = rig.saved("original.pjt");
        std::vector<qint16> jawData = jaw->track().recording();
        std::vector<qint16> neckData = neck->track().recording();

        // Zoomed in with Ctrl+wheel, Shift+drag in the jaw's lane selects a
        // stretch of it, without scrubbing.
        MotionLanes* l = rig.lanes();
        const int y0 = l->laneRect(0).center().y();
        const double shownBefore = l->window().last - l->window().first;
        QWheelEvent zoom(QPointF(350, y0), l->mapToGlobal(QPointF(350, y0)), {}, {0, 120}, Qt::NoButton,
                         Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(l, &zoom);
        QVERIFY(l->window().last - l->window().first < shownBefore);
        const qint32 cursor = rig.graph()->cCurrentTime();
        QTest::mousePress(l, Qt::LeftButton, Qt::ShiftModifier, QPoint(200, y0));
        QMouseEvent drag(QEvent::MouseMove, QPointF(500, y0), l->mapToGlobal(QPointF(500, y0)), Qt::NoButton,
                         Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(l, &drag);
        QTest::mouseRelease(l, Qt::LeftButton, Qt::ShiftModifier, QPoint(500, y0));
        const EditSelection& sel = rig.w->editTools().selection();
        const edits::FrameRange r{edits::frameAt(200, l->window().first, l->window().last, l->width()),
                                  edits::frameAt(500, l->window().first, l->window().last, l->width())};
        QCOMPARE(sel.servo(), 0);
        QCOMPARE(sel.frames(), r);
        QCOMPARE(rig.graph()->cCurrentTime(), cursor);
        QCOMPARE(rig.w->findChild<QLabel*>("selectionLabel")->text(), sel.text());

        rig.dialogs.numbers = {7, 12};
        rig.trigger("editSmooth");
        QCOMPARE(rig.w->takes().undoAction()->toolTip(), QStringLiteral("Undo Smooth (Ctrl+Z)"));
        rig.trigger("editShift");
        QCOMPARE(rig.w->takes().stack().undoText(), QStringLiteral("Shift in Time"));
        edits::smooth(jawData, r, 7, {20, 250});
        edits::shift(jawData, r, 12);
        QCOMPARE(jaw->track().recording(), jawData);
        QCOMPARE(sel.frames(), (edits::FrameRange{r.from + 12, r.to + 12}));

        // Copy, a click in the neck's lane puts the cursor there, paste: the
        // stretch runs past the end of the show and is held in the neck's range.
        rig.key(Qt::Key_C, Qt::ControlModifier);
        const std::vector<qint16> clip = edits::copy(jawData, sel.frames());
        QTest::mouseClick(l, Qt::LeftButton, {}, QPoint(800, l->laneRect(3).center().y()));
        const qint32 at = rig.w->SMPTEtimer()->frameNumber();
        rig.key(Qt::Key_V, Qt::ControlModifier);
        edits::paste(neckData, at, clip, {60, 180});
        QVERIFY(neckData.size() > 301);
        QCOMPARE(neck->track().recording(), neckData);

        // Alt+drag in the brow's lane draws from its top to its bottom: one
        // position every frame between the two pointer events.
        const QRect browLane = l->laneRect(5);
        QTest::mousePress(l, Qt::LeftButton, Qt::AltModifier, QPoint(100, browLane.top() + 1));
        QMouseEvent stroke(QEvent::MouseMove, QPointF(400, browLane.bottom() - 1),
                           l->mapToGlobal(QPointF(400, browLane.bottom() - 1)), Qt::NoButton, Qt::LeftButton,
                           Qt::AltModifier);
        QCoreApplication::sendEvent(l, &stroke);
        QTest::mouseRelease(l, Qt::LeftButton, Qt::AltModifier, QPoint(400, browLane.bottom() - 1));
        const std::vector<qint16>& drawn = brow->track().recording();
        const edits::FrameRange stretch{edits::frameAt(100, l->window().first, l->window().last, l->width()),
                                        edits::frameAt(400, l->window().first, l->window().last, l->width())};
        QCOMPARE(drawn[size_t(stretch.from)], 240);
        QCOMPARE(drawn[size_t(stretch.to)], 40);
        for (qint32 f = stretch.from + 1; f <= stretch.to; ++f)
            QVERIFY(drawn[size_t(f)] < drawn[size_t(f - 1)]);
        QCOMPARE(drawn[size_t(stretch.to + 1)], 0);
        QCOMPARE(rig.w->takes().stack().undoText(), QStringLiteral("Draw"));
        QCOMPARE(rig.w->takes().stack().count(), steps + 4);
        const QByteArray edited = rig.saved("edited.pjt");

        // Shift+drag in the waveform selects all servos; moving them before
        // frame 0 asks first, and No changes nothing.
        QTest::mousePress(rig.graph(), Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 30));
        QTest::mouseRelease(rig.graph(), Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 30));
        QCOMPARE(sel.servo(), int(EditSelection::kAllServos));
        rig.dialogs.numbers = {-200};
        rig.dialogs.answers = {mk::MessageAnswer::No};
        rig.trigger("editShift");
        QCOMPARE(rig.dialogs.messages.last().title, QStringLiteral("Shift in Time"));
        QCOMPARE(rig.saved("refused.pjt"), edited);
        rig.key(Qt::Key_Escape, {});
        QVERIFY(sel.isEmpty());

        for (int i = 0; i < 4; ++i)
            rig.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rig.saved("undone.pjt"), original);
        for (int i = 0; i < 4; ++i)
            rig.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(rig.saved("redone.pjt"), edited);
    }
};

QTEST_MAIN(TestTakes)
#include "test_takes.moc"
