// What was recorded, seen and taken back, as whole journeys through the real main window offscreen.
#include <QCheckBox>
#include <QComboBox>
#include <QMimeData>
#include <QScrollBar>
#include <QUndoStack>
#include <map>

#include "app/EditSelection.h"
#include "app/EditTools.h"
#include "app/LaneHeaders.h"
#include "app/MotionLanes.h"
#include "app/TakeHistory.h"
#include "sound/SndWrite.h"
#include "support/Files.h"
#include "support/WindowRig.h"

using Range = mk::lanes::ColumnRange;

namespace {

struct Rig : mk::test::WindowRig {
    Rig() : WindowRig(Shown) {}
    MotionLanes* lanes() const { return w->motionLanes(); }
    ::graphWindow* graph() const { return w->graphWindow(); }
    /// A sound of `ms` (10 s: frames 0 to 300).
    void loadShow(const QString& name = "show.wav", qint32 ms = 10000) { WindowRig::loadShow(name, ms, 40000); }
    /// The frames the waveform shows: its bytes' share of the sound's frames.
    std::pair<double, double> span() const
    {
        const ::graphWindow* g = graph();
        const double frames = g->cSoundLengthInMilliseconds() * 0.03;
        return {double(g->cDisplayStart() - g->cSoundStart()) / g->cSoundLength() * frames,
                double(g->cDisplayEnd() - g->cSoundStart()) / g->cSoundLength() * frames};
    }
    /// The pixel column of frame f in the whole 300-frame view.
    int xOf(int f) const { return int(std::lround(f * lanes()->width() / 300.0)); }
    /// A key typed into the window with the focus on a slider (in a name box Ctrl+Z undoes typing).
    void key(Qt::Key k, Qt::KeyboardModifiers m = {})
    {
        w->slider(0)->findChild<QSlider*>("slider")->setFocus();
        QTest::keyClick(w.get(), k, m);
    }
    /// What undo and redo must bring back: the show's file bytes as saved now (by the codec: Save's
    /// progress window would take the keyboard), its sound, file and title, and the servos' poses.
    QStringList shown()
    {
        std::array<NewSlider*, 8> tracks{};
        for (int i = 0; i < 8; ++i)
            tracks[size_t(i)] = w->slider(i);
        const mk::project::Project p = mk::project::snapshot<NewSlider>(
            tracks, w->lastTrackIndex(), w->slider(1)->datalength(), graph()->cFileName(),
            w->countdownTimer()->duration(), w->countdownTimer()->enabled());
        const QString file = path(QStringLiteral("shown.pjt"));
        QString poses; // where the servos stand: no part of the file
        for (NewSlider* t : tracks)
            poses += QString::number(t->position()) + ' ';
        return {mk::project::saveFile(file, p).ok ? mk::test::readFile(file).toBase64() : QString(),
                graph()->cFileName(), QString::number(w->hasSound()), w->projectFile(), w->windowTitle(), poses};
    }
    /// A press at `a`, one move to `b` and the release there.
    static void drag(QWidget* on, QPoint a, QPoint b, Qt::KeyboardModifiers m = {})
    {
        QTest::mousePress(on, Qt::LeftButton, m, a);
        QMouseEvent move(QEvent::MouseMove, QPointF(b), on->mapToGlobal(QPointF(b)), Qt::NoButton, Qt::LeftButton, m);
        QCoreApplication::sendEvent(on, &move);
        QTest::mouseRelease(on, Qt::LeftButton, m, b);
    }
    static void wheel(QWidget* over, QPoint at, QPoint angle, Qt::KeyboardModifiers m)
    {
        QWheelEvent e(at, over->mapToGlobal(at), {}, angle, Qt::NoButton, m, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(over, &e);
    }
};

} // namespace

class TestTakes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit")).clear();
    }

    // Track 5 (range 10..250, reversed, named Jaw): nothing up to frame 99, a ramp 120..219 over frames 100..199, 240
    // at frame 250. The lanes show it in step with the waveform whole, zoomed and panned (by Ctrl+wheel and the playing
    // cursor); a press or a drag in a lane scrubs as in the waveform; the headers name it; hidden lanes stay hidden at
    // the next start and catch up when shown.
    void lanesFollowTheWaveform()
    {
        Rig rig;
        rig.loadShow();
        MotionLanes* l = rig.lanes();
        ::graphWindow* g = rig.graph();
        QVERIFY(l->isVisible());
        QCOMPARE(l->width(), g->width());
        NewSlider* t = rig.w->slider(5);
        rig.setup(5, 10, 250, true, "Jaw");
        rig.fill(5, 100, 199, [](int f) { return 20 + f; });
        rig.fill(5, 250, 250, [](int) { return 240; });
        l->resync();
        const auto cursorX = [g] { return g->findChild<QWidget*>("cursor")->x(); };

        LaneHeaders* h = rig.w->laneHeaders();
        QCOMPARE(h->text(5), QStringLiteral("5 Jaw\t10–250 rev"));
        QCOMPARE(QPoint(h->geometry().right() + 1, h->y()), l->pos()); // beside the lanes, not over them
        QCOMPARE(t->findChild<QLabel*>("rangeTop")->text() + "/" + t->findChild<QLabel*>("rangeBottom")->text(),
                 QStringLiteral("250/10"));
        const int y5 = l->laneRect(5).center().y();
        QCOMPARE(h->laneToolTip(QPoint(rig.xOf(250) + 1, y5)),
                 QStringLiteral("Servo 5, frame 250 (00:00:08:10): position 240"));
        QCOMPARE(h->laneToolTip(QPoint(l->width() - 1, y5)),
                 QStringLiteral("Servo 5, frame 299 (00:00:09:29): nothing recorded"));

        for (const int zoom : {1000, 200, -7000}) { // whole, zoomed, then panned
            zoom > 0 ? g->setczoom(qint16(zoom)) : g->setcpan(-zoom);
            g->reDraw();
            // The lanes follow the waveform's redraw by themselves.
            const auto [first, last] = rig.span();
            QTRY_VERIFY(std::abs(l->window().first - first) < 1e-6);
            QCOMPARE(l->window().last, last);
            const auto& cols = l->laneColumns(5);
            const double perColumn = (last - first) / l->width();
            if (const int c250 = int((250 - first) / perColumn); c250 >= 0 && c250 < l->width())
                QCOMPARE(cols[size_t(c250)], (Range{240, 240}));
            const auto beforeRamp = cols.begin() + std::clamp(int((99.5 - first) / perColumn) - 1, 0, l->width());
            QVERIFY(std::all_of(cols.begin(), beforeRamp, [](Range r) { return r.empty(); }));
            QVERIFY(std::all_of(l->laneColumns(0).begin(), l->laneColumns(0).end(), [](Range r) { return r.empty(); }));
            QTRY_COMPARE(l->cursorColumn(), cursorX());
        }

        // A press or a drag in a lane is one in the waveform at the same place.
        QTest::mousePress(l, Qt::LeftButton, {}, QPoint(899, 30));
        const std::pair<qint32, qint32> fromLane{g->cCurrentTime(), rig.w->SMPTEtimer()->frameNumber()};
        QTest::mouseRelease(l, Qt::LeftButton, {}, QPoint(899, 30));
        rig.w->rewindClicked();
        QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(899, 30));
        QCOMPARE(fromLane, std::make_pair(g->cCurrentTime(), rig.w->SMPTEtimer()->frameNumber()));
        const int plays = rig.sound.plays().size();
        Rig::drag(l, QPoint(100, 5), QPoint(300, 5));
        QCOMPARE(rig.sound.plays().size(), plays + 2); // a snippet for the press and one for the move
        const qint32 dragged = g->cCurrentTime();
        rig.w->rewindClicked();
        QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(300, 5));
        QCOMPARE(dragged, g->cCurrentTime());

        // 0 shows the whole sound; the cursor follows a move that raises no event (Rewind); inactive lanes are dimmed.
        rig.key(Qt::Key_0);
        QCOMPARE(std::make_pair(g->cDisplayStart(), g->cDisplayEnd()),
                 std::make_pair(g->cSoundStart(), g->cSoundEnd()));
        // Narrower or wider over the same frames, the lanes work out their columns anew.
        for (const int width : {900, 1000}) {
            rig.w->resize(width, 760);
            QTRY_COMPARE(int(l->laneColumns(5).size()), l->width());
        }
        g->setcCurrentTimeInMilliseconds(5000);
        QTRY_COMPARE(l->cursorColumn(), cursorX());
        QVERIFY(l->cursorColumn() > 400);
        const QPoint at250(rig.xOf(250) + 1, l->rowOf(5, 240));
        QCOMPARE(l->grab().toImage().pixelColor(at250).green(), 220);
        rig.w->rewindClicked();
        QTRY_COMPARE(l->cursorColumn(), cursorX());
        QVERIFY(l->cursorColumn() < 5);
        t->findChild<QCheckBox*>("Active")->setChecked(false);
        QVERIFY(l->grab().toImage().pixelColor(at250).green() < 220);

        // Ctrl+wheel over lanes and waveform zooms around the pointer to 8 pixels a frame; the frame there stays put.
        QScrollBar* bar = rig.w->findChild<QScrollBar*>("viewScrollBar");
        const int x = g->width() / 4;
        const auto frameAt = [&](double px) {
            return rig.span().first + px / g->width() * (rig.span().second - rig.span().first);
        };
        const double underPointer = frameAt(x);
        for (int notch = 0; notch < 12; ++notch)
            Rig::wheel(notch % 2 ? static_cast<QWidget*>(g) : l, QPoint(x, 10), QPoint(0, 120), Qt::ControlModifier);
        QVERIFY(std::abs(g->width() / (rig.span().second - rig.span().first) - 8) < 0.2);
        QVERIFY(std::abs(frameAt(x) - underPointer) < 0.5);
        // The lanes and the scroll bar follow at once: the zoom moved the waveform's cursor bar.
        QVERIFY(std::abs(l->window().first - rig.span().first) + std::abs(l->window().last - rig.span().second) < 1e-6);
        QCOMPARE(std::make_pair(bar->value(), bar->pageStep()),
                 std::make_pair(g->cDisplayStart(), g->cDisplayEnd() - g->cDisplayStart()));
        // The playing cursor turns the pages.
        rig.w->playClicked();
        rig.ticks.set(g->playStartTick() + 6000);
        g->playUpdateTick();
        QVERIFY(g->cDisplayStart() <= g->cCurrentTime() && g->cCurrentTime() < g->cDisplayEnd());
        rig.w->stopClicked();
        rig.w->findChild<QCheckBox*>("motionLanesShown")->setChecked(false);
        QVERIFY(!l->isVisible());

        rig.restart();
        auto* box = rig.w->findChild<QCheckBox*>("motionLanesShown");
        QVERIFY(!rig.lanes()->isVisible() && !box->isChecked());
        rig.loadShow();
        rig.fill(1, 100, 100, [](int) { return 129; });
        box->setChecked(true);
        QVERIFY(rig.lanes()->isVisible());
        QCOMPARE(rig.lanes()->laneColumns(1)[size_t(rig.xOf(100))], (Range{129, 129}));
    }

    /// Scripts of commands, undos and redos. mark:X remembers the show, is:X compares with it (posed:X the
    /// poses too); saved:F=X compares file F with show X; text:T is the step Undo takes back ('_': a space);
    /// clean and dirty: the unsaved mark in the title the window system shows. After port the show includes
    /// a playback's wire; key:K is typed (playing:K during Play, where it does nothing), button is the undo
    /// button by the transport, enabled:UR the undo and redo actions, lane:T>N or T=N the columns T's lane drew.
    void undoAndRedoBringTheShowBack_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("a sound and its track lengths come back together; a shorter one cuts a take in one step")
            << "sound:10 take:2 mark:a sound:20 text:Import_Sound mark:b undo is:a undo redo is:a redo is:b "
               "sound:1 mark:c undo is:b redo is:c";
        QTest::newRow("undoing Open puts the sound and lengths back")
            << "sound:4 take:1 saveas:a.pjt new sound:10 mark:n open:a.pjt mark:o sound:20 mark:i undo is:o "
               "undo is:n redo redo is:i";
        QTest::newRow("New and Open are steps that bring the set-up back")
            << "sound:4 setup take:4 saveas:a.pjt mark:a new text:New_Project mark:n undo posed:a save saved:a.pjt=a "
               "redo is:n open:a.pjt text:Open_Project mark:o undo is:n redo is:o";
        QTest::newRow("a state keeps the file it was saved to")
            << "sound:10 saveas:a.pjt new open:a.pjt saveas:b.pjt take:2 mark:t undo undo redo redo is:t "
               "save saved:b.pjt=t";
        QTest::newRow("a play that moved nothing is no step") << "mark:fresh take:3 play undo is:fresh";
        QTest::newRow("keys and buttons undo a take on an open port")
            << "port sound:10 fresh mark:s enabled:00 take:2 mark:a take:6 lane:6>50 mark:b playing:Ctrl+Z is:b "
               "enabled:10 key:Ctrl+Z is:a enabled:11 lane:6=0 key:Ctrl+Shift+Z is:b key:Ctrl+Z key:Ctrl+Y is:b "
               "button button is:s enabled:01";
        QTest::newRow("undo everything, redo everything; the project opened at start-up is no step")
            << "sound:10 take:1 saveas:a.pjt startup:a.pjt mark:first clean take:2 sound:20 countdown take:3 save "
               "mark:last undo undo undo undo undo is:first redo redo redo redo redo is:last saved:a.pjt=last";
        QTest::newRow("the title marks unsaved changes")
            << "clean sound:10 dirty saveas:a.pjt clean take:1 dirty save clean countdown dirty undo clean "
               "redo dirty undo clean take:2 dirty undo undo redo clean redo dirty";
    }

    void undoAndRedoBringTheShowBack()
    {
        QFETCH(QString, script);
        Rig rig;
        std::map<QString, QStringList> marks;
        const auto show = [&] { return rig.shown() << (rig.w->MSComm()->PortOpen() ? rig.playback().toBase64() : ""); };
        QAction* undo = rig.w->takes().undoAction();
        for (const QString& step : script.split(' ')) {
            const QString op = step.section(':', 0, 0);
            const QString arg = step.section(':', 1);
            if (op == "port") {
                rig.openPort();
            } else if (op == "fresh") {
                rig.w->takes().restart();
            } else if (op == "key" || op == "playing") {
                if (op == "playing")
                    rig.w->playClicked();
                QVERIFY(undo->isEnabled() == (op == "key"));
                const QKeyCombination k = QKeySequence(arg)[0];
                rig.key(k.key(), k.keyboardModifiers());
                if (op == "playing")
                    rig.w->stopClicked();
            } else if (op == "button") {
                rig.w->findChild<QToolButton*>("undoTakeButton")->click();
            } else if (op == "enabled") {
                QCOMPARE(QString::number(undo->isEnabled()) + QString::number(rig.w->takes().redoAction()->isEnabled()),
                         arg);
            } else if (op == "lane") {
                const auto& drawn = rig.lanes()->laneColumns(arg.left(1).toInt());
                const auto n = std::count_if(drawn.begin(), drawn.end(), [](Range r) { return !r.empty(); });
                QVERIFY2(arg[1] == '>' ? n > arg.mid(2).toInt() : n == arg.mid(2).toInt(), qPrintable(step));
            } else if (op == "sound") {
                rig.loadShow(QStringLiteral("s%1.wav").arg(arg), arg.toInt() * 1000);
            } else if (op == "take" || op == "play") {
                rig.w->rewindClicked();
                rig.pass(op == "take" ? arg.toInt() : -1, 100 + arg.toInt(), op == "take" ? 60 : 90);
            } else if (op == "setup") {
                rig.setup(4, 60, 129, true, "Jaw");
            } else if (op == "countdown") {
                QTest::keyClick(rig.w->countdownTimer()->findChild<QLineEdit*>(), Qt::Key_5);
            } else if (op == "saveas" || op == "open") {
                rig.dialogs.paths << rig.path(arg);
                if (op == "open")
                    rig.w->openProject();
                else
                    QVERIFY(rig.w->saveProjectAs());
            } else if (op == "save") {
                QVERIFY(rig.w->saveProject());
            } else if (op == "new") {
                rig.w->newProject();
            } else if (op == "startup") {
                rig.restart();
                QCOMPARE(rig.w->openStartUpProject(rig.path(arg)), mk::project::ReadResult::Status::Ok);
            } else if (op == "undo" || op == "redo") {
                // Not Ctrl+Z: the progress window of a save or an open may hold the keyboard.
                op == "undo" ? rig.w->takes().undo() : rig.w->takes().redo();
            } else if (op == "text") {
                QCOMPARE(rig.w->takes().stack().undoText(), QString(arg).replace('_', ' '));
            } else if (op == "mark") {
                marks[arg] = show();
            } else if (op == "is" || op == "posed") { // posed: the servos' poses too, which a set-up brings back
                const qsizetype n = op == "is" ? 5 : 6;
                const QStringList now = show();
                QVERIFY2(now.first(n) == marks.at(arg).first(n) && now.last() == marks.at(arg).last(),
                         qPrintable(step + " " + rig.w->windowTitle()));
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
        // No message but the questions of New Project and of a sound that cuts the tracks.
        for (const auto& m : rig.dialogs.messages)
            QVERIFY2(m.title == "Warning" || m.title == "Import Sound", qPrintable(m.title));
    }

    // A hundred steps and more fit; a lower bound drops the oldest steps, and the saved state with them.
    void memoryIsBoundedDroppingTheOldestSteps()
    {
        Rig rig;
        rig.loadShow(QStringLiteral("show.wav"), 600000); // ten minutes: 18000 frames
        mk::TakeHistory& h = rig.w->takes();
        h.restart();
        auto take = [&](int n) {
            const int from = (n * 1000) % 17000;
            rig.fill(n % 8, from, from + 999, [n, from](int f) { return 1 + (n + f - from) % 250; });
            h.endPass();
        };
        for (int n = 0; n < 120; ++n)
            take(n);
        QCOMPARE(mk::test::fields(h.stack().count(), h.memoryHeld() < 120 * 5000), QStringLiteral("120 true"));
        const qint64 step = h.memoryHeld() / 120;
        h.setMemoryLimit(10 * step);
        QCOMPARE(mk::test::fields(h.memoryHeld() <= 10 * step, h.stack().count()), QStringLiteral("true 10"));
        for (int n = 120; n < 130; ++n)
            take(n);
        QCOMPARE(h.stack().count(), 10);
        // The kept steps are the newest: undoing all of them goes back to
        // the state after step 119, which stays for good and was never saved.
        for (int i = 0; i < 10; ++i)
            h.undo();
        QVERIFY(!h.stack().canUndo() && h.isModified());
        QCOMPARE(rig.w->slider(119 % 8)->track().at((119 * 1000) % 17000), qint16(1 + 119 % 250));
        for (int i = 0; i < 10; ++i)
            h.redo();
        QCOMPARE(rig.w->slider(129 % 8)->track().at((129 * 1000) % 17000), qint16(1 + 129 % 250));
    }

    // Open Recent lists what was opened and saved, newest first, a project no longer there greyed; choosing one opens
    // it. A project dropped on the window opens; a sound dropped imports.
    void openRecentAndDrops()
    {
        QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit")).remove("files/recentProjects");
        Rig rig;
        rig.loadShow();
        const QString a = rig.path("a.pjt"), b = rig.path("b.pjt"), gone = rig.path("gone.pjt");
        for (const QString& p : {a, b, gone}) {
            rig.dialogs.paths << p;
            QVERIFY(rig.w->saveProjectAs());
        }
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
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - b.pjt[*]"));
        rig.loadShow(QStringLiteral("other.wav"));
        const QString other = rig.graph()->cFileName();
        drop(a);
        drop(other);
        QCOMPARE(rig.graph()->cFileName(), other);
    }

    // Edit > Jaw from Sound on a sound with a burst of voice at frames 30 to 59: the preview writes only the chosen
    // servo, follows the closed side, Apply is one undo step, Undo restores the recording exactly and Cancel leaves
    // nothing behind.
    void jawFromSound()
    {
        Rig rig;
        rig.sound.lengthMs = 4000;
        const QString path = rig.path("talk.wav");
        QVERIFY(sndtest::write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 4.0, [](double t) {
            return t >= 1 && t < 2 ? 0.5 * std::sin(2 * M_PI * 500 * t) : 0.0;
        }));
        rig.w->importSoundFile(path);
        NewSlider* jaw = rig.w->slider(1);
        rig.setup(1, 40, 200);
        for (int i = 0; i < 2; ++i)
            rig.fill(i, 0, 120, [](int f) { return 100 + f % 7; });
        const std::vector<qint16> recorded = jaw->track().recording();
        const auto at = [jaw](int f) { return jaw->track().recording()[size_t(f)]; };
        const auto dialog = [&] {
            rig.trigger("jawFromSound");
            // One applied before may still wait for its deferred deletion.
            for (QDialog* open : rig.w->findChildren<QDialog*>("jawFromSound"))
                if (open->isVisible())
                    return open;
            return static_cast<QDialog*>(nullptr);
        };
        QDialog* d = dialog();
        const int steps = rig.w->takes().stack().count();
        QVERIFY(rig.w->slider(0)->track().recording() != recorded); // the preview on servo 0
        d->findChild<QComboBox*>("servo")->setCurrentIndex(1);
        QCOMPARE(rig.w->slider(0)->track().recording(), recorded);
        QCOMPARE(std::make_pair(at(10), at(40)), std::make_pair(qint16(40), qint16(200)));
        QVERIFY(!rig.lanes()->laneColumns(1).empty());
        d->findChild<QComboBox*>("closed")->setCurrentIndex(1);
        QCOMPARE(std::make_pair(at(10), at(40)), std::make_pair(qint16(200), qint16(40)));
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
        QCOMPARE(mk::test::fields(rig.w->takes().stack().count() - steps, rig.w->takes().stack().undoText()),
                 QStringLiteral("1 Jaw from Sound"));
        const std::vector<qint16> applied = jaw->track().recording();
        rig.w->takes().undo();
        QCOMPARE(jaw->track().recording(), recorded);
        rig.w->takes().redo();
        QCOMPARE(jaw->track().recording(), applied);

        d = dialog();
        d->findChild<QComboBox*>("servo")->setCurrentIndex(1);
        QVERIFY(jaw->track().recording() != applied);
        d->reject();
        QCOMPARE(jaw->track().recording(), applied);
        QCOMPARE(rig.w->takes().stack().count(), steps + 1);
    }

    // On the whole 10-second view (x = frame x width / 300): a Shift+drag in a lane selects, Smooth and Shift in Time
    // edit the selection, Ctrl+C and Ctrl+V copy it to where a click in another lane put the cursor, Alt+drag draws,
    // Shift+drag in the waveform selects all servos; four undo steps.
    void editASelection()
    {
        Rig rig;
        rig.loadShow();
        NewSlider *jaw = rig.w->slider(0), *neck = rig.w->slider(3), *brow = rig.w->slider(5);
        rig.setup(0, 20, 250);
        rig.setup(3, 60, 120);
        rig.setup(5, 40, 240);
        rig.fill(0, 0, 300, [](int f) { return f == 80 ? 200 : 100; });
        rig.w->takes().commit(QStringLiteral("Recording"));
        const int steps = rig.w->takes().stack().count();
        const QString original = rig.shown().first();

        // Frames 60..100 of the jaw, without scrubbing.
        MotionLanes* l = rig.lanes();
        const auto laneY = [l](int lane) { return l->laneRect(lane).center().y(); };
        const qint32 cursor = rig.graph()->cCurrentTime();
        Rig::drag(l, QPoint(rig.xOf(60), laneY(0)), QPoint(rig.xOf(100), laneY(0)), Qt::ShiftModifier);
        const EditSelection& sel = rig.w->editTools().selection();
        QCOMPARE(std::make_pair(sel.servo(), sel.frames()), std::make_pair(0, mk::edits::FrameRange{60, 100}));
        QCOMPARE(rig.graph()->cCurrentTime(), cursor);
        QCOMPARE(rig.w->findChild<QLabel*>("selectionLabel")->text(),
                 QStringLiteral("Servo 0: 00:00:02:00 to 00:00:03:10, 00:00:01:11 long"));

        // Smoothed over 3 frames the spike at 80 spreads to 79..81 (a third
        // of 400 each); 12 frames later the stretch leaves 0s behind it.
        rig.dialogs.numbers = {3, 12};
        rig.trigger("editSmooth");
        rig.trigger("editShift");
        std::vector<qint16> jawData(301, 100);
        std::fill(jawData.begin() + 60, jawData.begin() + 72, 0);
        std::fill(jawData.begin() + 91, jawData.begin() + 94, 133);
        QCOMPARE(jaw->track().recording(), jawData);
        QCOMPARE(sel.frames(), (mk::edits::FrameRange{72, 112}));

        // Pasted past the end of the show and held in the neck's range; the paste is selected.
        rig.key(Qt::Key_C, Qt::ControlModifier);
        QTest::mouseClick(l, Qt::LeftButton, {}, QPoint(rig.xOf(280), laneY(3)));
        const qint32 at = rig.w->SMPTEtimer()->frameNumber();
        QVERIFY(at > 270 && at < 290);
        rig.key(Qt::Key_V, Qt::ControlModifier);
        std::vector<qint16> neckData(size_t(at + 41), 0);
        std::fill(neckData.begin() + at, neckData.end(), 100);
        std::fill(neckData.begin() + at + 19, neckData.begin() + at + 22, 120);
        QCOMPARE(neck->track().recording(), neckData);
        QCOMPARE(std::make_pair(sel.servo(), sel.frames()), std::make_pair(3, mk::edits::FrameRange{at, at + 40}));

        // Alt+drag in the brow lane, top row at frame 100 to bottom row at 200: 240 down to 40, a position every frame.
        const QRect browLane = l->laneRect(5);
        Rig::drag(l, QPoint(rig.xOf(100), browLane.top() + 1), QPoint(rig.xOf(200), browLane.bottom() - 1),
                  Qt::AltModifier);
        const std::vector<qint16>& drawn = brow->track().recording();
        QCOMPARE((std::vector<qint16>{drawn[99], drawn[100], drawn[125], drawn[150], drawn[200], drawn[201]}),
                 (std::vector<qint16>{0, 240, 190, 140, 40, 0}));
        QCOMPARE(rig.w->takes().stack().count(), steps + 4);
        const QString edited = rig.shown().first();

        // Shift+drag in the waveform selects all servos, not scrubbing; moving them before frame 0 asks, No keeps all.
        const qint32 cursorNow = rig.graph()->cCurrentTime();
        Rig::drag(rig.graph(), QPoint(rig.xOf(30), 30), QPoint(rig.xOf(50), 30), Qt::ShiftModifier);
        QCOMPARE(std::make_pair(sel.servo(), sel.frames()),
                 std::make_pair(int(EditSelection::kAllServos), mk::edits::FrameRange{30, 50}));
        QCOMPARE(rig.graph()->cCurrentTime(), cursorNow);
        rig.dialogs.numbers = {-200};
        rig.dialogs.answers = {mk::MessageAnswer::No};
        rig.trigger("editShift");
        QCOMPARE(rig.dialogs.messages.last().title, QStringLiteral("Shift in Time"));
        QCOMPARE(rig.shown().first(), edited);
        rig.key(Qt::Key_Escape);
        QVERIFY(sel.isEmpty());

        for (int i = 0; i < 4; ++i)
            rig.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rig.shown().first(), original);
        for (int i = 0; i < 4; ++i)
            rig.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(rig.shown().first(), edited);
    }
};

QTEST_MAIN(TestTakes)
#include "test_takes.moc"
