// The program's CPU share while it sits idle: the real main window with the
// real joystick service (SDL) and clock, stopped, first with the joystick
// calibration dialog hidden, then with it shown (polling the joystick every
// 10 ms).
//
//   bench_idle [seconds per phase]      (default 20)
//
// Run it the way the program runs (QT_QPA_PLATFORM=offscreen or under a
// display); with a joystick plugged in the shown phase reads it too.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

#include "app/Services.h"
#include "app/mainForm.h"
#include "platform/Dialogs.h"
#include "platform/Joystick.h"
#include "platform/SoundService.h"
#include "platform/TickSource.h"
#include "tracks/calibrateJoystick.h"

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/// Runs the event loop for `seconds` and prints the CPU share it took.
void phase(const char* name, double seconds)
{
    QElapsedTimer wall;
    wall.start();
    const double before = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = cpuSeconds() - before;
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf("%-34s %.2f%% of one core (%.3f s CPU over %.1f s)\n", name, 100.0 * cpu / elapsed, cpu, elapsed);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;

    mk::SdlJoystick joystick;
    mk::ScriptedDialogs dialogs; // the port probe's message must not wait for a click
    mk::NoSound sound;
    mainForm w(mk::Services{mk::systemTicks(), joystick, dialogs, sound, {QString()}});
    w.show();
    phase("settle (not counted)", 2);

    phase("calibration dialog hidden", seconds);
    w.calibrateJoystick();
    phase("calibration dialog shown", seconds);
    w.calibrationDialog()->hide();
    w.close();
    return 0;
}
