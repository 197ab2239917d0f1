// How fast sounds are converted and heard for a jaw, and how much memory
// that takes (which must not grow with the sound's length):
//   conversion of a 10-minute 48 kHz 24-bit stereo WAV and of a 10-minute MP3
//   into the 16-bit 44.1 kHz WAV the program reads; jaw analysis (voice band,
//   level per frame) of a 10-minute and a 1-hour sound.
//
// Run: bench_sounds [folder]   (default: a temporary folder; about 700 MB of
// sounds are written there first). Each case runs in a child process so that
// its peak memory is its own.
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sound/JawAnalysis.h"
#include "sound/SoundConverter.h"

namespace {

/// Speech-like: a 220 Hz voice with harmonics, opening and closing four
/// times a second, over a little noise.
bool makeSound(const QString& path, int format, int rate, int channels, double seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const qint64 frames = qint64(seconds * rate);
    std::vector<float> block;
    quint32 noise = 1;
    for (qint64 done = 0; done < frames;) {
        const qint64 n = std::min<qint64>(65536, frames - done);
        block.resize(size_t(n * channels));
        for (qint64 i = 0; i < n; ++i) {
            const double t = double(done + i) / rate;
            const double syllable = std::max(0.0, std::sin(2 * M_PI * 4 * t));
            double v = 0;
            for (int h = 1; h <= 6; ++h)
                v += std::sin(2 * M_PI * 220 * h * t) / h;
            noise = noise * 1664525u + 1013904223u;
            const float s = float(0.25 * syllable * v + 0.002 * (double(noise) / 4294967296.0 - 0.5));
            for (int c = 0; c < channels; ++c)
                block[size_t(i * channels + c)] = s;
        }
        sf_writef_float(f, block.data(), n);
        done += n;
    }
    sf_close(f);
    return true;
}

struct Figures {
    double ms = 0;
    bool ok = false;
};

/// Runs `work` in a child process: its time and its peak resident memory.
bool measure(const char* name, double soundSeconds, const std::function<bool()>& work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        QElapsedTimer t;
        t.start();
        Figures fig;
        fig.ok = work();
        fig.ms = double(t.nsecsElapsed()) / 1e6;
        (void)!write(fds[1], &fig, sizeof fig);
        _exit(0);
    }
    Figures fig;
    struct rusage usage {};
    int status = 0;
    const bool got = read(fds[0], &fig, sizeof fig) == sizeof fig;
    wait4(child, &status, 0, &usage);
    close(fds[0]);
    close(fds[1]);
    if (!got || !fig.ok) {
        std::printf("%-44s failed\n", name);
        return false;
    }
    std::printf("%-44s %10.0f %10.0fx %8ld MB\n", name, fig.ms, soundSeconds * 1000 / fig.ms,
                long(usage.ru_maxrss) / 1024);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    auto at = [&](const char* name) { return folder + QLatin1Char('/') + QLatin1String(name); };
    const double tenMinutes = 600, hour = 3600;

    std::printf("Writing the test sounds...\n");
    std::fflush(stdout);
    const bool mp3 = makeSound(at("ten.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 48000, 2, tenMinutes);
    if (!makeSound(at("ten-48k-24.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2, tenMinutes)
        || !makeSound(at("ten-44k-16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tenMinutes)
        || !makeSound(at("hour-44k-16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, hour)) {
        std::printf("Could not write the test sounds in %s\n", qPrintable(folder));
        return 1;
    }

    std::printf("%-44s %10s %11s %11s\n", "case", "ms", "real time", "peak RSS");
    auto convert = [&](const char* source, const char* target) {
        return [=] { return mk::sound::convertFile(at(source), at(target)).status == mk::sound::ConvertStatus::Done; };
    };
    bool ok = measure("convert 10 min 48 kHz 24-bit stereo WAV", tenMinutes, convert("ten-48k-24.wav", "a.wav"));
    if (mp3)
        ok = measure("convert 10 min 48 kHz stereo MP3", tenMinutes, convert("ten.mp3", "b.wav")) && ok;
    else
        std::printf("%-44s skipped: libsndfile cannot write MP3 here\n", "convert 10 min MP3");
    auto hear = [&](const char* source, double seconds) {
        return [=] {
            const auto frames = qint32(seconds * mk::jaw::kFramesPerSecond);
            const mk::jaw::Levels l = mk::jaw::analyse(at(source), frames);
            return l.error.isEmpty() && mk::jaw::positions(l.db, {}, 1, 255).size() == size_t(frames);
        };
    };
    ok = measure("jaw analysis, 10 min 44.1 kHz stereo", tenMinutes, hear("ten-44k-16.wav", tenMinutes)) && ok;
    ok = measure("jaw analysis, 10 min 48 kHz 24-bit stereo", tenMinutes, hear("ten-48k-24.wav", tenMinutes)) && ok;
    ok = measure("jaw analysis, 1 hour 44.1 kHz mono", hour, hear("hour-44k-16.wav", hour)) && ok;
    return ok ? 0 : 1;
}
