// How long the CD export takes for a 10-minute show of eight tracks, next to
// copying a file of the output's size on the same disk in the same run, and
// how much memory it needs (which must not grow with the show's length).
//
// Run: bench_cdexport [minutes] [folder]
//   minutes: the show's length (default 10); folder: where the files go
//   (default: the current folder). Each case runs five times, each run in a
//   child process so that its peak memory is its own; medians are printed.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <span>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "export/CdExport.h"
#include "platform/Joystick.h"
#include "tracks/ServoTrack.h"

namespace {

/// A tone of `seconds` at `rate`, 16-bit, written in blocks.
bool makeSound(const QString& path, qint32 rate, int channels, qint64 seconds)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 frames = rate * seconds;
    const quint32 bytes = quint32(frames * 2 * channels);
    QByteArray h(44, '\0');
    char* p = h.data();
    memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(bytes + 36, p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(quint16(channels), p + 22);
    qToLittleEndian<quint32>(quint32(rate), p + 24);
    qToLittleEndian<quint32>(quint32(rate * 2 * channels), p + 28);
    qToLittleEndian<quint16>(quint16(2 * channels), p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(bytes, p + 40);
    f.write(h);
    std::vector<qint16> block;
    for (qint64 done = 0; done < frames;) {
        block.clear();
        for (int i = 0; i < 65536 && done < frames; ++i, ++done)
            for (int c = 0; c < channels; ++c)
                block.push_back(qint16(12000 * std::sin(done * 2 * M_PI * 440 / rate)));
        const qint64 n = qint64(block.size() * 2);
        if (f.write(reinterpret_cast<const char*>(block.data()), n) != n)
            return false;
    }
    return true;
}

/// Notes when each stage of the export begins.
struct StageClock : mk::cd::Progress {
    QElapsedTimer timer;
    double encodingStartMs = 0;
    void stage(const QString& text) override
    {
        if (text.startsWith(QLatin1String("Encoding")))
            encodingStartMs = timer.nsecsElapsed() / 1e6;
    }
};

struct Figures {
    double exportMs = 0;
    double audioMs = 0; ///< copy or resampling
    double encodeMs = 0;
    double copyMs = 0;
    qint64 outputBytes = 0;
    bool ok = false;
};

/// In the child: export, then copy the output with a plain 1 MiB read/write loop.
Figures run(const QString& sound, const QString& out, qint32 lastFrame)
{
    Figures fig;
    mk::NoJoystick joystick;
    std::vector<std::unique_ptr<mk::ServoTrack>> owned;
    std::array<mk::ServoTrack*, 8> tracks{};
    for (int i = 0; i < 8; ++i) {
        owned.push_back(std::make_unique<mk::ServoTrack>(joystick));
        auto& t = *owned.back();
        t.setWhichservo(qint16(i));
        t.setPlaybackEnabled(true);
        t.setRecordingEnabled(true);
        t.setMaxValue(255);
        t.setMinValue(1);
        t.setMaxframe(lastFrame);
        t.setDataStartPoint(0);
        for (qint32 f = 0; f <= lastFrame; ++f)
            t.setData(qint16(1 + (f * 7 + i * 31) % 255));
        tracks[size_t(i)] = &t;
    }
    const std::span<mk::ServoTrack* const> all(tracks.data(), tracks.size());
    StageClock clock;
    QElapsedTimer& timer = clock.timer;
    timer.start();
    const auto r = mk::cd::exportForCd(sound, out, lastFrame,
                                       [all](qint32 f) { return mk::cd::frameMessage(all, f); }, clock);
    fig.exportMs = timer.nsecsElapsed() / 1e6;
    fig.audioMs = clock.encodingStartMs;
    fig.encodeMs = fig.exportMs - clock.encodingStartMs;
    fig.ok = r.status == mk::cd::ExportResult::Status::Complete;
    fig.outputBytes = QFileInfo(out).size();

    timer.restart();
    QFile in(out), copy(out + ".copy");
    if (in.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QByteArray buffer;
        while (!(buffer = in.read(1 << 20)).isEmpty())
            copy.write(buffer);
    }
    copy.close();
    fig.copyMs = timer.nsecsElapsed() / 1e6;
    QFile::remove(out + ".copy");
    return fig;
}

} // namespace

int main(int argc, char** argv)
{
    const int minutes = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTemporaryDir dir(QDir(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::currentPath())
                          .filePath("bench_cdexport-XXXXXX"));
    if (!dir.isValid())
        return 1;
    const qint32 lastFrame = 30 * 60 * minutes;
    struct Case {
        const char* name;
        qint32 rate;
        int channels;
    };
    const Case cases[] = {{"44.1 kHz stereo (direct copy)", 44100, 2}, {"22 050 Hz mono (resampled)", 22050, 1}};
    std::printf("%d-minute show, 8 tracks, F = %d\n", minutes, lastFrame);
    std::printf("%-32s %10s %16s %10s %8s %10s %10s\n", "sound", "export ms", "(audio+servo)", "copy ms", "ratio",
                "output MB", "peak RSS");
    for (const Case& c : cases) {
        const QString sound = dir.filePath(QStringLiteral("sound-%1.wav").arg(c.rate));
        if (!makeSound(sound, c.rate, c.channels, qint64(minutes) * 60))
            return 1;
        const QString out = dir.filePath(QStringLiteral("cd-%1.wav").arg(c.rate));
        // Five runs, each in its own process; the medians are printed.
        std::vector<Figures> runs;
        long peakKb = 0;
        for (int attempt = 0; attempt < 5; ++attempt) {
            int pipeFds[2];
            if (pipe(pipeFds) != 0)
                return 1;
            const pid_t child = fork();
            if (child == 0) {
                const Figures fig = run(sound, out, lastFrame);
                (void)!write(pipeFds[1], &fig, sizeof fig);
                _exit(0);
            }
            Figures fig;
            struct rusage usage {};
            int status = 0;
            const bool got = read(pipeFds[0], &fig, sizeof fig) == sizeof fig;
            wait4(child, &status, 0, &usage);
            close(pipeFds[0]);
            close(pipeFds[1]);
            if (!got || !fig.ok) {
                std::printf("%-32s export failed\n", c.name);
                return 1;
            }
            runs.push_back(fig);
            peakKb = std::max(peakKb, long(usage.ru_maxrss));
        }
        auto median = [&](double Figures::*field) {
            std::vector<double> v;
            for (const Figures& f : runs)
                v.push_back(f.*field);
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double exportMs = median(&Figures::exportMs);
        const double copyMs = median(&Figures::copyMs);
        const QByteArray split = QStringLiteral("(%1+%2)")
                                     .arg(median(&Figures::audioMs), 0, 'f', 0)
                                     .arg(median(&Figures::encodeMs), 0, 'f', 0)
                                     .toLatin1();
        std::printf("%-32s %10.0f %16s %10.0f %8.2f %10.1f %7ld MB\n", c.name, exportMs, split.constData(), copyMs,
                    exportMs / copyMs, runs[0].outputBytes / 1e6, peakKb / 1024);
        QFile::remove(out);
    }
    return 0;
}
