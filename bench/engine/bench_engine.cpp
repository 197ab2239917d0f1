// The show engine's timing, printed as figures.
//
//   bench_engine [--seconds S] [--load N] [--stall MS] [--no-rt]
//       runs eight real tracks on the engine against a pseudo-terminal for S
//       seconds (default 60), with N busy threads at normal priority beside
//       it and the posting (interface) thread blocked for MS every second;
//       prints frames sent and skipped, the lateness of each frame after the
//       first millisecond that shows it, and the priority the engine got.
//   bench_engine --drift
//       a simulated two-hour show whose sound device runs 200 ppm fast for an
//       hour, then 200 ppm slow: the largest distance between the frame sent
//       and the frame heard, and the frames skipped or repeated.
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "engine/PortWriter.h"
#include "engine/ShowEngine.h"
#include "engine/TrackFrames.h"
#include "platform/Joystick.h"
#include "support/PseudoTerminal.h"
#include "tracks/ServoTrack.h"

using namespace mk::engine;

namespace {

int drift()
{
    const Nanos buffer = Nanos(256 * 1e9 / 44100);
    MediaClock clock;
    clock.start(0, 0);
    Nanos truth = 0;
    std::int64_t last = 0, worst = 0, skipped = 0, repeated = 0, frames = 0;
    const Nanos step = 1'000'000; // the engine looks every frame; 1 ms is stricter
    for (Nanos now = step; now <= Nanos(7200e9); now += step) {
        const double ppm = now < Nanos(3600e9) ? 200 : -200;
        truth += Nanos(double(step) * (1 + ppm * 1e-6));
        clock.follow(now, truth - truth % buffer);
        const std::int64_t f = frameAtMs(clock.showTimeAt(now) / kNanosPerMs);
        if (f > last + 1)
            skipped += f - last - 1;
        if (f < last)
            repeated += last - f;
        frames += f != last;
        last = f;
        worst = std::max<std::int64_t>(worst, std::llabs(f - frameAtMs(truth / kNanosPerMs)));
    }
    std::printf("simulated 2-hour show, device +200 ppm for an hour then -200 ppm\n");
    std::printf("frames reached: %lld, largest distance sent vs heard: %lld frame(s), skipped: %lld, "
                "repeated: %lld, final error %.3f ms\n",
                (long long)frames, (long long)worst, (long long)skipped, (long long)repeated, clock.error() / 1e6);
    return 0;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 60, load = 0, stall = 0;
    bool realtime = true;
    for (int i = 1; i < argc; ++i) {
        const auto arg = [&](const char* name) { return std::strcmp(argv[i], name) == 0 && i + 1 < argc; };
        if (std::strcmp(argv[i], "--drift") == 0)
            return drift();
        if (std::strcmp(argv[i], "--no-rt") == 0)
            realtime = false;
        else if (arg("--seconds"))
            seconds = std::max(1, atoi(argv[++i]));
        else if (arg("--load"))
            load = std::max(0, atoi(argv[++i]));
        else if (arg("--stall"))
            stall = std::max(0, atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: bench_engine [--seconds S] [--load N] [--stall MS] [--no-rt] | --drift\n");
            return 2;
        }
    }

    mk::test::PseudoTerminal pty;
    const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    if (!pty.valid() || fd < 0) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    std::atomic<bool> on{true};
    std::atomic<long long> received{0};
    std::thread reader([&] {
        while (on)
            received += pty.read(1 << 16, 50, false).size();
    });
    std::vector<std::thread> busy;
    for (int i = 0; i < load; ++i)
        busy.emplace_back([&] {
            volatile unsigned long x = 0;
            while (on)
                x = x + 1;
        });

    mk::NoJoystick joystick;
    std::vector<std::unique_ptr<mk::ServoTrack>> owned;
    std::array<mk::ServoTrack*, 8> tracks{};
    for (int i = 0; i < 8; ++i) {
        owned.push_back(std::make_unique<mk::ServoTrack>(joystick));
        tracks[size_t(i)] = owned.back().get();
        tracks[size_t(i)]->setPlaybackEnabled(true);
        tracks[size_t(i)]->setRecordingEnabled(true);
        // Sized for the whole run, as a loaded sound sizes them.
        tracks[size_t(i)]->setMaxframe(seconds * 30 + 60);
    }
    TrackFrames work(tracks, 8);
    FdPortWriter port(fd);
    ShowEngine engine(work, realtime);
    engine.setPort(&port);

    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    engine.start(0);
    // The interface: a slider dragged all along, and blocked now and then.
    Input drag;
    drag.track = 0;
    drag.held = true;
    for (int ms = 0; ms < seconds * 1000; ms += 10) {
        drag.value = 127 + (ms / 10) % 100;
        engine.post(drag);
        if (stall > 0 && ms % 1000 == 0 && ms > 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(stall);
            while (std::chrono::steady_clock::now() < until) {
            }
            ms += stall;
        }
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(ms + 10));
    }
    engine.stop();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    on = false;
    reader.join();
    for (auto& t : busy)
        t.join();

    const auto& h = engine.lateness();
    std::printf("engine, 8 tracks, pseudo-terminal, %d s, %d busy thread(s), interface blocked %d ms a second\n",
                seconds, load, stall);
    std::printf("priority: %s\n", engine.priority().describe().c_str());
    std::printf("frames sent: %llu (last %d), bytes on the line: %lld (expected %llu), skipped: %llu\n",
                (unsigned long long)engine.framesSent(), engine.frame(), received.load(),
                (unsigned long long)engine.framesSent() * 24, (unsigned long long)engine.framesSkipped());
    std::printf("lateness after the frame's first millisecond, ms: p50 %.2f  p99 %.2f  max %.2f\n",
                h.percentileMs(50), h.percentileMs(99), h.maxMs());
    if (load == 0)
        std::printf("cpu: %.2f%% of one core for the process (engine, reader, posting thread)\n", 100 * cpu / wall);
    ::close(fd);
    return 0;
}
