// The program's CPU share while it sits idle: the real main window with the
// real joystick service (SDL), sound service (SDL) and clock, stopped: with
// no sound, with a sound loaded, then with the joystick calibration dialog
// shown (polling the joystick every 10 ms). Wake-ups are the process's
// context switches, all threads together.
//
//   bench_idle [seconds per phase]      (default 20)
//
// Run it the way the program runs (QT_QPA_PLATFORM=offscreen or under a
// display); with a joystick plugged in the shown phase reads it too. Without
// SDL_AUDIODRIVER set it uses SDL's dummy driver, which paces its buffers in
// real time as a sound card would.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <sndfile.h>
#include <sys/resource.h>
#include <vector>

#include "app/Services.h"
#include "app/mainForm.h"
#include "platform/Dialogs.h"
#include "platform/Joystick.h"
#include "platform/SdlSound.h"
#include "platform/TickSource.h"
#include "sound/graphWindow.h"
#include "tracks/calibrateJoystick.h"

namespace {

struct Usage {
    double cpu;
    long switches;
};

Usage usage()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
            u.ru_nvcsw + u.ru_nivcsw};
}

/// Runs the event loop for `seconds` and prints the CPU share it took.
void phase(const char* name, double seconds)
{
    QElapsedTimer wall;
    wall.start();
    const Usage before = usage();
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const Usage after = usage();
    const double cpu = after.cpu - before.cpu;
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf("%-34s %.2f%% of one core (%.3f s CPU over %.1f s), %.0f wake-ups/s\n", name,
                100.0 * cpu / elapsed, cpu, elapsed, (after.switches - before.switches) / elapsed);
    std::fflush(stdout);
}

/// A 10 s 44.1 kHz stereo sound.
QString writeSound(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("idle.wav"));
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    std::vector<short> samples(2 * 44100 * 10);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short((i * 37) % 2000 - 1000);
    sf_writef_short(f, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(f);
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;

    mk::SdlJoystick joystick;
    mk::ScriptedDialogs dialogs; // the port probe's message must not wait for a click
    mk::SdlSound sound;
    mainForm w(mk::Services{mk::systemTicks(), joystick, dialogs, sound, {QString()}});
    w.show();
    phase("settle (not counted)", 2);

    phase("no sound, calibration dialog hidden", seconds);
    QTemporaryDir dir;
    w.importSoundFile(writeSound(dir));
    if (!w.hasSound()) {
        std::fprintf(stderr, "the sound did not load\n");
        return 1;
    }
    phase("settle (not counted)", 2);
    phase("sound loaded, stopped", seconds);
    QElapsedTimer opening;
    opening.start();
    w.graphWindow()->preparePlay();
    std::printf("%-34s %.2f ms (of the 200 ms before a play)\n", "opening the device again",
                opening.nsecsElapsed() / 1e6);
    phase("settle (not counted)", 2);

    w.calibrateJoystick();
    phase("calibration dialog shown", seconds);
    w.calibrationDialog()->hide();
    w.close();
    return 0;
}
