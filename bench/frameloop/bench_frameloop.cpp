// Runs the main window's show (the show engine, eight tracks, frame
// messages) against a pseudo-terminal and prints the frames sent and skipped,
// how late each frame message was written after the instant its frame became
// current, the engine's priority and the CPU share.
//
//   bench_frameloop [seconds] [--load N] [--stall MS]
//
// --load N runs N busy threads at normal priority beside the window;
// --stall MS blocks the user-interface thread for MS every second.
#include <QApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "support/PseudoTerminal.h"
#include "engine/ShowEngine.h"

namespace {

qint64 nowMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

/// CPU seconds of the process (RUSAGE_SELF) or of the calling thread (RUSAGE_THREAD).
double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int seconds = 60, load = 0, stallMs = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--load" && i + 1 < args.size())
            load = args[++i].toInt();
        else if (args[i] == "--stall" && i + 1 < args.size())
            stallMs = args[++i].toInt();
        else
            seconds = std::max(1, args[i].toInt());
    }

    mk::test::PseudoTerminal pty;
    if (!pty.valid()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    std::atomic<bool> reading{true};
    std::atomic<qint64> received{0};
    std::thread reader([&] {
        while (reading)
            received += pty.read(1 << 16, 50, false).size();
    });
    // Busy threads at normal priority, as other programs on a loaded machine.
    std::atomic<bool> burning{true};
    std::vector<std::thread> burners;
    for (int i = 0; i < load; ++i)
        burners.emplace_back([&] {
            volatile std::uint64_t x = 0;
            while (burning.load(std::memory_order_relaxed))
                x = x + 1;
        });

    mk::NoJoystick joystick;
    mk::ScriptedDialogs dialogs;
    mk::NoSound sound;
    mainForm w(mk::Services{mk::systemTicks(), joystick, dialogs, sound, {pty.slavePath(), "", "", ""}});
    w.show();
    w.ports().selectPort(1);
    if (!w.MSComm()->PortOpen()) {
        std::fprintf(stderr, "cannot open the pseudo-terminal as COM 1\n");
        return 1;
    }
    // The interface thread blocked for stallMs every second (a paint, a
    // dialog, a cold redraw of the waveform).
    QTimer stall;
    if (stallMs > 0) {
        QObject::connect(&stall, &QTimer::timeout, [stallMs] { QThread::msleep(stallMs); });
        stall.start(1000);
    }

    const auto& engine = w.showEngine();
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const double threadCpuBefore = cpuSeconds(RUSAGE_THREAD);
    const qint64 wallBefore = nowMicros();
    w.playClicked();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    w.stopClicked();
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    const double threadCpu = cpuSeconds(RUSAGE_THREAD) - threadCpuBefore;
    const double wall = (nowMicros() - wallBefore) / 1e6;
    burning = false;
    for (auto& t : burners)
        t.join();
    QThread::msleep(200);
    reading = false;
    reader.join();

    const auto& l = engine.lateness();
    std::printf("window frame loop on the show engine, 8 tracks, pseudo-terminal, %d s, %d busy threads, "
                "interface blocked %d ms every second\n", seconds, load, stallMs);
    std::printf("engine priority: %s\n", engine.priority().describe().c_str());
    std::printf("frame messages: %llu (last frame %d), bytes on the line: %lld (expected %llu)\n",
                static_cast<unsigned long long>(engine.framesSent()), engine.frame(),
                static_cast<long long>(received.load()),
                static_cast<unsigned long long>(engine.framesSent() * 24));
    std::printf("frames skipped: %llu\n", static_cast<unsigned long long>(engine.framesSkipped()));
    std::printf("lateness after each frame's instant, ms: p50 %.2f  p99 %.2f  max %.2f\n", l.percentileMs(50),
                l.percentileMs(99), l.maxMs());
    std::printf("cpu: %.2f%% of one core for the process (%.2f s over %.1f s; busy threads excluded only "
                "when --load is 0), %.2f%% for the user-interface thread alone\n",
                100.0 * cpu / wall, cpu, wall, 100.0 * threadCpu / wall);
    return 0;
}
