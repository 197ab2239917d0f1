#pragma once
// Sounds written through libsndfile in any format it can write, from a
// function of the time, for the converter and the jaw analysis.
#include <QFile>
#include <QString>

#include <sndfile.h>

#include <cmath>
#include <functional>
#include <type_traits>
#include <vector>

namespace sndtest {

/// Writes `frames` frames of sample(frame, channel), handed to libsndfile as shorts or doubles. False when it cannot
/// write this format here (MP3 on some systems).
template <class T>
bool writeFrames(const QString& path, int format, int rate, int channels, long long frames,
                 const std::function<T(long long, int)>& sample)
{
    SF_INFO info{0, rate, channels, format, 0, 0}; // frames, rate, channels, format, sections, seekable
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<T> block;
    for (long long done = 0; done < frames;) {
        const long long n = std::min<long long>(4096, frames - done);
        block.resize(size_t(n * channels));
        for (long long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                block[size_t(i * channels + c)] = sample(done + i, c);
        if constexpr (std::is_same_v<T, short>)
            sf_writef_short(f, block.data(), n);
        else
            sf_writef_double(f, block.data(), n);
        done += n;
    }
    sf_close(f);
    return true;
}

/// `seconds` of `wave(t)`, the same in every channel.
inline bool write(const QString& path, int format, int rate, int channels, double seconds,
                  const std::function<double(double)>& wave)
{
    return writeFrames<double>(path, format, rate, channels, std::llround(seconds * rate),
                               [&](long long i, int) { return wave(double(i) / rate); });
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
