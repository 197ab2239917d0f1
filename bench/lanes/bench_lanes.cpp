// Prints what the motion lanes cost: one redraw of all eight lanes (columns
// worked out from the tracks and painted) for a 10-second and a 2-hour show,
// whole and zoomed, a zoom step of waveform and lanes together (Ctrl+wheel
// over the 2-hour show), and the cost per frame of the real frame loop while a
// track records, with the lanes shown and hidden.
//
//   bench_lanes [repeats]      (default 50)
//   bench_lanes --screenshot PNG   a picture of the main window with a
//                                  10-second show in the lanes, then quit
//
// The sounds are sparse WAV files of the right length (the lanes never read
// them; the waveform reads its thousand bytes). The main window runs
// offscreen, 1100 pixels wide.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QWheelEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "app/MotionLanes.h"
#include "support/LongShow.h"
#include "app/mainForm.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "tracks/NewSlider.h"

namespace {

using mk::bench::SilentSound;
using mk::bench::fillTracks;
using mk::bench::threadMs;
using mk::bench::writeSound;

struct Stats {
    double p50 = 0, p99 = 0, max = 0;
};
Stats stats(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    auto at = [&](double p) { return v[std::min(v.size() - 1, size_t(p / 100.0 * double(v.size() - 1) + 0.5))]; };
    return {at(50), at(99), v.back()};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(3, atoi(argv[1])) : 50;
    QTemporaryDir dir;

    mk::bench::ShowWindow show;
    mainForm& w = show.w;
    SilentSound& sound = show.sound;
    mk::ManualTickSource& ticks = show.ticks;
    mk::FixedJoystick& joystick = show.joystick;
    MotionLanes* lanes = w.motionLanes();
    ::graphWindow* g = w.graphWindow();

    if (argc > 2 && QByteArray(argv[1]) == "--screenshot") {
        sound.lengthMs = 10000;
        w.importSoundFile(writeSound(dir.path(), 10, true));
        fillTracks(w, w.slider(0)->maxframe());
        const char* names[8] = {"Jaw", "Eyes", "Lids", "Neck turn", "Neck nod", "Brow", "Left arm", "Right arm"};
        for (int i = 0; i < 8; ++i)
            w.slider(i)->setServoName(QString::fromLatin1(names[i]));
        w.slider(6)->setPlaybackEnabled(false); // an inactive track, dimmed
        g->setcCurrentTimeInMilliseconds(3700);
        // Places the waveform's cursor bar now, in the visible half of its blink.
        g->setcCurrentTime(g->cCurrentTime());
        if (auto* bar = g->findChild<QWidget*>(QStringLiteral("cursor")); bar && !bar->autoFillBackground())
            g->setcCurrentTime(g->cCurrentTime());
        lanes->resync();
        QApplication::processEvents();
        return w.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }

    std::printf("lanes %d x %d pixels, %d redraws a case\n\n", lanes->width(), lanes->height(), repeats);
    std::printf("CPU time of the user-interface thread, ms\n");
    std::printf("%-10s %-18s %-22s %-22s %s\n", "show", "view", "columns p50 / max", "painting p50 / max",
                "redraw p50 / p99 / max");
    for (int seconds : {10, 7200}) {
        sound.lengthMs = seconds * 1000;
        w.importSoundFile(writeSound(dir.path(), seconds));
        const qint32 frames = w.slider(0)->maxframe();
        fillTracks(w, frames);
        lanes->resync();
        QApplication::processEvents();

        struct Case { const char* name; qint16 zoom; qint16 panA, panB; };
        const Case cases[] = {{"whole", 1000, 0, 0}, {"zoomed to 1/10", 100, 5000, 5001}, {"zoomed to 1/1000", 1, 5000, 5001}};
        for (const Case& c : cases) {
            std::vector<double> ms, columns, painting;
            for (int r = 0; r < repeats; ++r) {
                // A new span every time, so the columns are worked out afresh.
                // The waveform is not redrawn: its redraw would have the lanes
                // follow before the clock starts.
                if (c.zoom == 1000) {
                    g->setczoom(r % 2 ? 1000 : 999);
                } else {
                    g->setczoom(c.zoom);
                    g->setcpan(r % 2 ? c.panA : c.panB);
                }
                const double t0 = threadMs();
                lanes->followView();
                const double t1 = threadMs();
                lanes->repaint();
                const double t2 = threadMs();
                columns.push_back(t1 - t0);
                painting.push_back(t2 - t1);
                ms.push_back(t2 - t0);
                QApplication::processEvents();
            }
            const Stats s = stats(ms), sc = stats(columns), sp = stats(painting);
            std::printf("%-10s %-18s %5.2f / %-14.2f %5.2f / %-14.2f %.2f / %.2f / %.2f\n",
                        seconds == 10 ? "10 s" : "2 h", c.name, sc.p50, sc.max, sp.p50, sp.max, s.p50, s.p99, s.max);
        }
    }

    // Zoom steps over the 2-hour show: Ctrl+wheel notches over the waveform
    // from the whole sound in to 8 pixels a frame and out again, each one
    // the new span, the waveform's redraw and the lanes' redraw, painted.
    {
        g->setczoom(1000);
        g->reDraw();
        QApplication::processEvents();
        std::vector<double> wall, cpu;
        const QPoint at(g->width() / 3, g->height() / 2);
        for (int r = 0; r < repeats; ++r) {
            for (int angle : {120, -120}) {
                for (int notch = 0; notch < 40; ++notch) {
                    const qint32 before = g->cDisplayEnd() - g->cDisplayStart();
                    QElapsedTimer t;
                    t.start();
                    const double c0 = threadMs();
                    QWheelEvent e(at, g->mapToGlobal(at), {}, {0, angle}, Qt::NoButton, Qt::ControlModifier,
                                  Qt::NoScrollPhase, false);
                    QApplication::sendEvent(g, &e);
                    g->repaint();
                    lanes->followView();
                    lanes->repaint();
                    const double c1 = threadMs();
                    if (g->cDisplayEnd() - g->cDisplayStart() == before)
                        break; // at the limit: no step
                    wall.push_back(t.nsecsElapsed() / 1e6);
                    cpu.push_back(c1 - c0);
                }
            }
        }
        const Stats sw = stats(wall), sc = stats(cpu);
        std::printf("\nzoom step, 2 h show, waveform and lanes redrawn (%zu steps), ms p50 / p99 / max\n",
                    wall.size());
        std::printf("wall %.2f / %.2f / %.2f   CPU %.2f / %.2f / %.2f\n", sw.p50, sw.p99, sw.max, sc.p50, sc.p99,
                    sc.max);
    }

    // The real frame loop over the 2-hour show, track 3 recording from the
    // joystick: the clock's tick (every track's update, the frame message,
    // the lanes taking in the frame) and the repaint it causes.
    g->setczoom(1000);
    g->reDraw();
    QApplication::processEvents();
    NewSlider* rec = w.slider(3);
    rec->setWhichJoystickChannel(0);
    rec->setUsesJoystick(true);
    joystick.reading.buttons = 1;
    std::printf("\nframe loop, 2 h show, track 3 recording, CPU ms per frame p50 / p99 / max\n");
    for (bool shown : {true, false}) {
        w.findChild<QCheckBox*>(QStringLiteral("motionLanesShown"))->setChecked(shown);
        QApplication::processEvents();
        std::vector<double> ms;
        w.playClicked();
        const qint64 start = w.SMPTEtimer()->startTick();
        for (int f = 1; f <= 30 * repeats; ++f) {
            joystick.reading.x = quint32(16000 + 15000 * std::sin(f / 20.0));
            ticks.set(start + qint64(std::ceil(f * 100.0 / 3)));
            const double t0 = threadMs();
            w.SMPTEtimer()->tick();
            QApplication::processEvents();
            ms.push_back(threadMs() - t0);
        }
        w.stopClicked();
        const Stats s = stats(ms);
        std::printf("lanes %-38s %.3f / %.3f / %.3f\n", shown ? "shown" : "hidden", s.p50, s.p99, s.max);
    }
    return 0;
}
