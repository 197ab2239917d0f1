// The headless player as a haunt runs it, printed as figures.
//
//   bench_play [--show-seconds S] [--triggers N]
//       runs `marionettekit play` against a pseudo-terminal with an idle loop
//       and SIGUSR1 as the trigger: the CPU share and resident memory at rest
//       (10 s of idle loop) and during a show of S seconds (default 120) with
//       its sound (SDL's dummy output unless SDL_AUDIODRIVER says otherwise),
//       then the time from N triggers (default 50) to the show's first frame
//       on the line, beyond the 200 ms wait before a play.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

#include "project/ProjectFile.h"
#include "support/PseudoTerminal.h"
#include "support/TwoTrackShow.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Two tracks; track 0 starts at `first` (a value the idle loop never sends).
bool writeShow(const QString& path, qint32 F, int first, const QString& sound)
{
    mk::project::Project p = mk::test::twoTrackShow(F, 100);
    p.positions[0][0] = qint16(first);
    if (!sound.isEmpty())
        p.soundName = sound;
    return mk::project::saveFile(path, p).ok;
}

/// A mono 16-bit 44.1 kHz WAV of a quiet tone.
bool writeWav(const QString& path, int seconds)
{
    const quint32 n = quint32(seconds) * 44100;
    QByteArray b("RIFF");
    auto u32 = [&](quint32 v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](quint16 v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    u32(36 + n * 2);
    b += "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(44100), u32(88200), u16(2), u16(16);
    b += "data";
    u32(n * 2);
    for (quint32 i = 0; i < n; ++i)
        u16(quint16(qint16(3000 * std::sin(i * 0.0627))));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}

struct Usage {
    double cpuSeconds = 0;
    long rssKb = 0, peakKb = 0;
};

Usage usageOf(qint64 pid)
{
    Usage u;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> f = stat.readAll().split(')').value(1).trimmed().split(' ');
        // utime and stime are fields 14 and 15; after "pid (comm)" they are 12 and 13.
        u.cpuSeconds = (f.value(11).toDouble() + f.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                u.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
            if (line.startsWith("VmHWM:"))
                u.peakKb = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    return u;
}

/// Reads the line until a frame whose track 0 is `wanted` arrives; the time it did.
std::optional<Clock::time_point> waitFor(mk::test::PseudoTerminal& pty, QByteArray& pending, int wanted, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        pending += pty.read(1 << 16, 2, false);
        for (qsizetype i = 0; i + 3 <= pending.size(); ++i) {
            if (quint8(pending[i]) == 255 && pending[i + 1] == 0 && quint8(pending[i + 2]) == wanted) {
                const auto at = Clock::now();
                pending.clear();
                return at;
            }
        }
        if (pending.size() > 3)
            pending = pending.right(3);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int showSeconds = 120, triggers = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--show-seconds"))
            showSeconds = std::max(2, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--triggers"))
            triggers = std::max(1, std::atoi(argv[i + 1]));
    }
    if (!qEnvironmentVariableIsSet("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("show.wav"));
    const QString show = dir.filePath(QStringLiteral("show.pjt"));
    const QString shortShow = dir.filePath(QStringLiteral("short.pjt"));
    const QString idle = dir.filePath(QStringLiteral("idle.pjt"));
    if (!writeWav(wav, showSeconds) || !writeShow(show, showSeconds * 30, 7, wav) || !writeShow(shortShow, 15, 7, {}) ||
        !writeShow(idle, 90, 50, {})) {
        std::fprintf(stderr, "cannot write the bench's files\n");
        return 1;
    }

    auto start = [&](const QString& project, mk::test::PseudoTerminal& pty, QProcess& p) {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(MK_PROGRAM), {QStringLiteral("play"), project, QStringLiteral("--port"), pty.slavePath(),
                                             QStringLiteral("--trigger"), QStringLiteral("signal"),
                                             QStringLiteral("--retrigger"), QStringLiteral("--idle"), idle});
        return p.waitForStarted();
    };

    {
        mk::test::PseudoTerminal pty;
        QProcess p;
        if (!start(show, pty, p))
            return 1;
        std::thread drain([&] {
            while (p.state() != QProcess::NotRunning)
                pty.read(1 << 16, 50, false);
        });
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const Usage r0 = usageOf(p.processId());
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const Usage r1 = usageOf(p.processId());
        ::kill(pid_t(p.processId()), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const Usage s0 = usageOf(p.processId());
        std::this_thread::sleep_for(std::chrono::seconds(showSeconds - 2));
        const Usage s1 = usageOf(p.processId());
        ::kill(pid_t(p.processId()), SIGTERM);
        p.waitForFinished(3000);
        drain.join();
        std::printf("play at rest (idle loop, 10 s): cpu %.2f%% of one core, resident %ld kB\n",
                    100 * (r1.cpuSeconds - r0.cpuSeconds) / 10, r1.rssKb);
        std::printf("play during a %d s show with sound: cpu %.2f%% of one core, resident %ld kB, peak %ld kB\n",
                    showSeconds, 100 * (s1.cpuSeconds - s0.cpuSeconds) / (showSeconds - 2), s1.rssKb, s1.peakKb);
    }

    mk::test::PseudoTerminal pty;
    QProcess p;
    if (!start(shortShow, pty, p))
        return 1;
    QByteArray pending;
    waitFor(pty, pending, 50, 3000); // the idle loop is running
    std::vector<double> ms;
    for (int i = 0; i < triggers; ++i) {
        const auto t0 = Clock::now();
        ::kill(pid_t(p.processId()), SIGUSR1);
        const auto at = waitFor(pty, pending, 7, 3000);
        if (at)
            ms.push_back(std::chrono::duration<double, std::milli>(*at - t0).count() - 200.0);
        waitFor(pty, pending, 50, 3000); // back to the idle loop
    }
    ::kill(pid_t(p.processId()), SIGTERM);
    p.waitForFinished(3000);
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        std::printf("no trigger reached the line\n");
        return 1;
    }
    auto pct = [&](double q) { return ms[std::min(ms.size() - 1, size_t(std::ceil(q / 100 * double(ms.size()))) - 1)]; };
    std::printf("trigger to first frame beyond the 200 ms wait, %zu of %d triggers: p50 %.1f ms  p99 %.1f ms  max %.1f ms\n",
                ms.size(), triggers, pct(50), pct(99), ms.back());
    return 0;
}
