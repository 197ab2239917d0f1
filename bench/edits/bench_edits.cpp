// Prints what editing costs in a 2-hour show of 8 tracks: each edit of the
// Edit menu on a 10-minute selection of one servo and on a whole track, as
// the window runs it (the edit, its undo step and the lanes catching up),
// and the memory the edit's step adds to the undo history.
//
//   bench_edits [repeats]          (default 20)
//   bench_edits --screenshot PNG   a picture of the main window zoomed in on
//                                  a selection, then quit
//
// The sound is a sparse WAV file of the right length (the lanes never read
// it). The main window runs offscreen, 1100 pixels wide.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "app/EditSelection.h"
#include "app/EditTools.h"
#include "app/MotionLanes.h"
#include "support/LongShow.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "sound/graphWindow.h"
#include "tracks/NewSlider.h"

namespace {

using mk::bench::SilentSound;
using mk::bench::fillTracks;
using mk::bench::threadMs;
using mk::bench::writeSound;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double largest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

/// An Alt+drag across the lane from x0 to x1: a press, `moves` pointer
/// moves and a release.
void drawStroke(MotionLanes* l, int lane, int x0, int x1, int moves)
{
    const int y = l->laneRect(lane).center().y();
    auto send = [&](QEvent::Type type, int x, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(x, y), l->mapToGlobal(QPointF(x, y)), Qt::LeftButton, held, Qt::AltModifier);
        QCoreApplication::sendEvent(l, &e);
    };
    send(QEvent::MouseButtonPress, x0, Qt::LeftButton);
    for (int k = 1; k <= moves; ++k)
        send(QEvent::MouseMove, x0 + (x1 - x0) * k / moves, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, x1, Qt::NoButton);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    mk::bench::ShowWindow show;
    mainForm& w = show.w;
    SilentSound& sound = show.sound;
    mk::ScriptedDialogs& dialogs = show.dialogs;
    MotionLanes* lanes = w.motionLanes();
    ::graphWindow* g = w.graphWindow();
    EditSelection& selection = w.editTools().selection();

    if (argc > 2 && QByteArray(argv[1]) == "--screenshot") {
        sound.lengthMs = 20000;
        w.importSoundFile(writeSound(dir.path(), 20, true));
        fillTracks(w, w.slider(0)->maxframe());
        const char* names[8] = {"Jaw", "Eyes", "Lids", "Neck turn", "Neck nod", "Brow", "Left arm", "Right arm"};
        for (int i = 0; i < 8; ++i)
            w.slider(i)->setServoName(QString::fromLatin1(names[i]));
        // Zoomed to a fifth of the sound, around its middle, a stretch of the
        // eyes selected and smoothed.
        g->setczoom(200);
        g->setcpan(5000);
        g->reDraw();
        g->setcCurrentTimeInMilliseconds(9000);
        g->setcCurrentTime(g->cCurrentTime());
        if (auto* bar = g->findChild<QWidget*>(QStringLiteral("cursor")); bar && !bar->autoFillBackground())
            g->setcCurrentTime(g->cCurrentTime());
        selection.select(1, 285, 330);
        dialogs.numbers = {9};
        w.menuItem(QStringLiteral("editSmooth"))->trigger();
        lanes->resync();
        QApplication::processEvents();
        return w.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }

    const int repeats = argc > 1 ? std::max(3, atoi(argv[1])) : 20;
    sound.lengthMs = 7200 * 1000;
    w.importSoundFile(writeSound(dir.path(), 7200, false));
    const qint32 frames = w.slider(0)->maxframe();
    fillTracks(w, frames);
    lanes->resync();
    w.takes().restart();
    QApplication::processEvents();

    struct Edit {
        const char* name;
        std::function<void()> run;
    };
    auto menu = [&](const char* name, std::optional<int> number) {
        return [&w, &dialogs, name, number] {
            if (number)
                dialogs.numbers = {*number};
            w.menuItem(QString::fromLatin1(name))->trigger();
        };
    };
    const std::vector<Edit> edits = {
        {"Delete", menu("editDelete", std::nullopt)},
        {"Cut", menu("editCut", std::nullopt)},
        {"Paste", menu("editPaste", std::nullopt)},
        {"Smooth 9", menu("editSmooth", 9)},
        {"Scale 150 %", menu("editScale", 150)},
        {"Offset +20", menu("editOffset", 20)},
        {"Shift +15", menu("editShift", 15)},
        {"Draw, a stroke", [&] { drawStroke(lanes, 0, 100, 1000, 20); }},
    };
    struct Scope {
        const char* name;
        qint32 from, to;
    };
    const Scope scopes[] = {{"10 min of servo 0", 30 * 1800, 40 * 1800 - 1}, {"whole track 0", 0, frames}};

    std::printf("2-hour show, 8 tracks of %d frames; %d runs per case\n", frames + 1, repeats);
    std::printf("%-18s %-18s %-20s %-20s %s\n", "edit", "on", "CPU p50 / max ms", "wall p50 / max ms",
                "undo memory");
    for (const Scope& s : scopes) {
        for (const Edit& e : edits) {
            // Draw works on the view: the whole show, or zoomed in on the 10 minutes.
            if (QByteArray(e.name).startsWith("Draw")) {
                g->setczoom(s.from == 0 ? qint16(1000) : qint16(1000 * 10 / 120));
                g->setcpan(s.from == 0 ? qint16(0) : qint16(2727));
                g->reDraw();
                QApplication::processEvents();
            }
            w.takes().restart();
            std::vector<double> cpu, wall;
            qint64 memory = 0;
            for (int r = 0; r < repeats; ++r) {
                selection.select(0, s.from, s.to);
                // Paste puts the clipboard (the selection, copied) at the cursor.
                if (QByteArray(e.name) == "Paste") {
                    w.menuItem(QStringLiteral("editCopy"))->trigger();
                    g->setcCurrentTimeInMilliseconds(s.from == 0 ? 30 * 60 * 1000 : 45 * 60 * 1000);
                }
                QApplication::processEvents();
                const qint64 heldBefore = w.takes().memoryHeld();
                QElapsedTimer clock;
                clock.start();
                const double c0 = threadMs();
                e.run();
                QApplication::processEvents(); // the lanes' repaint
                cpu.push_back(threadMs() - c0);
                wall.push_back(clock.nsecsElapsed() / 1e6);
                if (r == 0)
                    memory = w.takes().memoryHeld() - heldBefore;
                w.takes().undo();
            }
            std::printf("%-18s %-18s %7.2f / %7.2f     %7.2f / %7.2f     %8.1f KB\n", e.name, s.name, median(cpu),
                        largest(cpu), median(wall), largest(wall), memory / 1024.0);
        }
    }
    g->setczoom(1000);
    g->reDraw();
    return 0;
}
