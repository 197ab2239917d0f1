#pragma once
// Sounds written through libsndfile in any format it can write, from a
// function of the time, for the converter and the jaw analysis.
#include <QFile>
#include <QString>

#include <sndfile.h>

#include <cmath>
#include <functional>
#include <vector>

namespace sndtest {

/// Writes `seconds` of `wave(t)` (the same in every channel). False when
/// libsndfile cannot write this format here (MP3 on some systems).
inline bool write(const QString& path, int format, int rate, int channels, double seconds,
                  const std::function<double(double)>& wave)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const long long frames = std::llround(seconds * rate);
    std::vector<double> block;
    for (long long done = 0; done < frames;) {
        const long long n = std::min<long long>(4096, frames - done);
        block.resize(size_t(n * channels));
        for (long long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                block[size_t(i * channels + c)] = wave(double(done + i) / rate);
        sf_writef_double(f, block.data(), n);
        done += n;
    }
    sf_close(f);
    return true;
}

inline std::function<double(double)> sine(double hz, double amplitude)
{
    return [=](double t) { return amplitude * std::sin(2 * M_PI * hz * t); };
}

/// All samples of channel 0 as floats, with the file's rate and channels.
inline std::vector<float> read(const QString& path, SF_INFO& info)
{
    info = SF_INFO{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    std::vector<float> all;
    if (!f)
        return all;
    std::vector<float> frame(size_t(info.channels) * 4096);
    for (sf_count_t n; (n = sf_readf_float(f, frame.data(), 4096)) > 0;)
        for (sf_count_t i = 0; i < n; ++i)
            all.push_back(frame[size_t(i * info.channels)]);
    sf_close(f);
    return all;
}

} // namespace sndtest
