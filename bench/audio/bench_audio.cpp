// How quickly a play is heard: from the play() call to its first frames in
// the device buffer, how long the device buffer is, and how long a waiting
// 20 ms scrub snippet holds up its caller. Uses SDL's dummy driver unless
// SDL_AUDIODRIVER names another (a real card gives its own figures).
#include <QTemporaryDir>
#include <QtGlobal>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/SdlSound.h"

using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void report(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-44s p50 %7.3f ms   max %7.3f ms   (n=%zu)\n", what, v[v.size() / 2], v.back(), v.size());
}

bool writeRamp(const QByteArray& path, int seconds)
{
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<short> block(2 * 44100);
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < 44100; ++i)
            block[2 * i] = block[2 * i + 1] = static_cast<short>(1 + (i % 1000));
        sf_writef_short(f, block.data(), 44100);
    }
    sf_close(f);
    return true;
}

} // namespace

int main()
{
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.wav");
    if (!dir.isValid() || !writeRamp(path.toLocal8Bit(), 30)) {
        std::fprintf(stderr, "cannot write the test sound\n");
        return 1;
    }

    mk::SdlSound sound;
    qint32 ms = 0;
    const auto t0 = Clock::now();
    const int rc = sound.length(path, ms);
    const double lengthMs = msSince(t0);
    if (rc != 0) {
        std::fprintf(stderr, "length() failed with %d\n", rc);
        return 1;
    }
    const auto st = sound.stats();
    std::printf("driver %s, 44.1 kHz 16-bit stereo, %d ms sound\n", qgetenv("SDL_AUDIODRIVER").constData(), ms);
    std::printf("first length() incl. opening the device: %.3f ms\n", lengthMs);
    std::printf("device buffer: %d frames = %.2f ms at %d Hz, %d channels\n", st.bufferFrames,
                st.bufferFrames * 1000.0 / st.rate, st.rate, st.channels);

    // The callback period as the driver paces it.
    const quint64 c0 = sound.stats().callbacks;
    const auto p0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double period = msSince(p0) / double(sound.stats().callbacks - c0);
    std::printf("measured callback period: %.2f ms\n", period);

    std::vector<double> callMs, startMs, snippetMs;
    for (int i = 0; i < 20; ++i) {
        const auto c = Clock::now();
        sound.play(path, 1000 * i + 137, -1, false);
        callMs.push_back(msSince(c));
        while (sound.stats().startDelayNs < 0 && msSince(c) < 1000)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        startMs.push_back(sound.stats().startDelayNs / 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 7 * (i % 5)));
        sound.stop(path);
    }
    for (int i = 0; i < 20; ++i) {
        const auto c = Clock::now();
        sound.play(path, 500 * i + 41, 500 * i + 61, true);
        snippetMs.push_back(msSince(c));
    }
    report("play() call, non-waiting", callMs);
    report("play() call to first frames in the device", startMs);
    report("waiting 20 ms snippet, call to return", snippetMs);
    std::printf("output latency after the device buffer: the device's own "
                "(none with the dummy driver; SDL adds no queue when the rate and "
                "channels are the hardware's)\n");
    return 0;
}
