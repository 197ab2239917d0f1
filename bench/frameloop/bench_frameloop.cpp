// Runs the real frame loop (frame clock, eight tracks, frame messages) against
// a pseudo-terminal and prints how late each frame message was written
// against the ideal schedule, the frames skipped and the CPU share.
//
//   bench_frameloop [seconds]      (default 60)
//
// Frame k becomes current when the elapsed time rounds to k, that is at
// start + (k - 1/2) x 100/3 ms; lateness is measured from that instant to the
// moment the frame message has been handed to the port. The clock counts
// whole milliseconds, so the first tick count that shows frame k is up to
// 2/3 ms after that instant; the lateness against that tick is printed too,
// which is what the scheduling itself adds.
#include <QApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "support/PseudoTerminal.h"
#include "timing/SMTPtimer.h"
#include "timing/TimeCode.h"

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

/// The first whole millisecond of elapsed time at which the clock shows frame k.
qint64 firstTickOf(qint32 k)
{
    auto frameAt = [](qint64 e) { return std::nearbyint(double(e) / mk::kFrameMs); };
    qint64 e = qint64(std::ceil((k - 0.5) * mk::kFrameMs));
    while (frameAt(e) < k)
        ++e;
    while (frameAt(e - 1) >= k)
        --e;
    return e;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p / 100.0 * double(v.size() - 1) + 0.5));
    return v[i];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;

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

    struct Sample { qint64 at; qint32 frame; };
    std::vector<Sample> samples;
    samples.reserve(size_t(seconds) * 31 + 16);
    // Connected after the main window's own handler, so it runs once the
    // frame message has been written.
    QObject::connect(w.SMPTEtimer(), &SMTPtimer::frameChange, &w,
                     [&] { samples.push_back({nowMicros(), w.SMPTEtimer()->frameNumber()}); });

    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const double threadCpuBefore = cpuSeconds(RUSAGE_THREAD);
    const qint64 wallBefore = nowMicros();
    w.playClicked();
    const qint64 startTickMs = w.SMPTEtimer()->startTick();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    w.stopClicked();
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    const double threadCpu = cpuSeconds(RUSAGE_THREAD) - threadCpuBefore;
    const double wall = (nowMicros() - wallBefore) / 1e6;
    QThread::msleep(200);
    reading = false;
    reader.join();

    std::vector<double> lateness, tickLateness;
    qint64 skipped = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double ideal = startTickMs * 1000.0 + (samples[i].frame - 0.5) * 100000.0 / 3.0;
        lateness.push_back((samples[i].at - ideal) / 1000.0);
        const double tick = (startTickMs + firstTickOf(samples[i].frame)) * 1000.0;
        tickLateness.push_back((samples[i].at - tick) / 1000.0);
        if (i > 0)
            skipped += std::max(0, samples[i].frame - samples[i - 1].frame - 1);
    }
    std::printf("frame loop, 8 tracks, pseudo-terminal, %d s\n", seconds);
    std::printf("frame messages: %zu (last frame %d), bytes on the line: %lld (expected %zu)\n", samples.size(),
                samples.empty() ? -1 : samples.back().frame, static_cast<long long>(received.load()),
                samples.size() * 24);
    std::printf("lateness ms: p50 %.3f  p99 %.3f  max %.3f\n", percentile(lateness, 50), percentile(lateness, 99),
                lateness.empty() ? 0.0 : *std::max_element(lateness.begin(), lateness.end()));
    std::printf("lateness after the first tick count of the frame, ms: p50 %.3f  p99 %.3f  max %.3f\n",
                percentile(tickLateness, 50), percentile(tickLateness, 99),
                tickLateness.empty() ? 0.0 : *std::max_element(tickLateness.begin(), tickLateness.end()));
    std::printf("frames skipped: %lld\n", static_cast<long long>(skipped));
    std::printf("cpu: %.2f%% of one core for the process (%.2f s over %.1f s), %.2f%% for the user-interface "
                "thread alone (the rest is the benchmark's own reader of the line)\n",
                100.0 * cpu / wall, cpu, wall, 100.0 * threadCpu / wall);
    return 0;
}
