#include "sound/JawAnalysis.h"

#include <algorithm>
#include <cmath>

#include "sound/SoundConverter.h"

namespace mk::jaw {

namespace {

/// A second-order section (Direct Form I, doubles: the state of a 200 Hz
/// high-pass at 44.1 kHz loses too much in floats).
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double operator()(double x)
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad section(bool highPass, double hz, double q, int rate)
{
    const double w = 2 * M_PI * hz / rate;
    const double alpha = std::sin(w) / (2 * q);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    Biquad s;
    if (highPass) {
        s.b0 = (1 + c) / 2 / a0;
        s.b1 = -(1 + c) / a0;
    } else {
        s.b0 = (1 - c) / 2 / a0;
        s.b1 = (1 - c) / a0;
    }
    s.b2 = s.b0;
    s.a1 = -2 * c / a0;
    s.a2 = (1 - alpha) / a0;
    return s;
}

/// Fourth-order Butterworth: two sections with these Q.
constexpr double kQ1 = 0.54119610014619698;
constexpr double kQ2 = 1.3065629648763766;

double frameToDb(double sumSquares, qint64 n)
{
    if (n <= 0 || sumSquares <= 0)
        return kSilenceDb;
    return std::max<double>(kSilenceDb, 10 * std::log10(sumSquares / double(n)));
}

} // namespace

Levels analyse(const QString& path, qint32 frames, const Band& band, const Progress& progress)
{
    Levels out;
    out.db.assign(size_t(std::max<qint32>(frames, 0)), kSilenceDb);
    // Read at the sound's own rate: resampling would cost more than the
    // filters and change nothing in a level.
    const sound::SourceInfo info = sound::probe(path);
    if (!info.readable) {
        out.error = info.problem;
        return out;
    }
    sound::SoundReader reader(path, sound::SoundReader::Channels::Mono, info.rate);
    if (!reader.ok()) {
        out.error = reader.error();
        return out;
    }
    const int rate = info.rate;
    std::vector<Biquad> filters;
    if (band.lowHz > 0) {
        filters.push_back(section(true, band.lowHz, kQ1, rate));
        filters.push_back(section(true, band.lowHz, kQ2, rate));
    }
    // A top at or past Nyquist: the sound holds nothing above it anyway.
    if (band.highHz < 0.45 * rate) {
        filters.push_back(section(false, band.highHz, kQ1, rate));
        filters.push_back(section(false, band.highHz, kQ2, rate));
    }

    constexpr qint64 kBlock = 8192;
    std::vector<float> block(kBlock);
    qint32 frame = 0;
    qint64 sample = 0;                                     // index of the next sample
    qint64 frameEnd = (qint64(frame) + 1) * rate / kFramesPerSecond; // first sample of the next frame
    qint64 inFrame = 0;
    double sum = 0;
    for (int round = 0; frame < frames; ++round) {
        const qint64 n = reader.read(block.data(), kBlock);
        if (!reader.ok()) {
            out.error = reader.error();
            return out;
        }
        if (n == 0)
            break;
        for (qint64 i = 0; i < n && frame < frames; ++i) {
            double v = block[size_t(i)];
            for (Biquad& f : filters)
                v = f(v);
            sum += v * v;
            ++inFrame;
            if (++sample == frameEnd) {
                out.db[size_t(frame)] = float(frameToDb(sum, inFrame));
                ++frame;
                frameEnd = (qint64(frame) + 1) * rate / kFramesPerSecond;
                sum = 0;
                inFrame = 0;
            }
        }
        if (progress && round % 32 == 0 && !progress(reader.fraction())) {
            out.cancelled = true;
            return out;
        }
    }
    if (frame < frames && inFrame > 0) // the last, partial frame
        out.db[size_t(frame)] = float(frameToDb(sum, inFrame));
    if (progress)
        progress(1.0);
    return out;
}

Range automaticLevels(const std::vector<float>& db)
{
    std::vector<float> voiced;
    for (float d : db)
        if (d > -70.0f)
            voiced.push_back(d);
    if (voiced.empty())
        return {-45, -21};
    const size_t k = voiced.size() * 9 / 10;
    std::nth_element(voiced.begin(), voiced.begin() + std::ptrdiff_t(k), voiced.end());
    const double top = voiced[k];
    const double threshold = std::max(top - 24, -55.0);
    return {threshold, std::max(top, threshold + 6)};
}

double thresholdFromSilence(const std::vector<float>& db, qint32 first, qint32 last)
{
    first = std::max<qint32>(first, 0);
    last = std::min<qint32>(last, qint32(db.size()) - 1);
    float loudest = kSilenceDb;
    for (qint32 f = first; f <= last; ++f)
        loudest = std::max(loudest, db[size_t(f)]);
    return double(loudest) + 3;
}

qint32 leadFrames(double leadMs)
{
    return qint32(std::lround(std::clamp(leadMs, 0.0, kMaxLeadMs) * kFramesPerSecond / 1000));
}

std::vector<qint16> positions(const std::vector<float>& db, const Shape& shape, qint16 servoMin, qint16 servoMax)
{
    const Range automatic = automaticLevels(db);
    const double threshold = shape.thresholdDb.value_or(automatic.thresholdDb);
    const double top = std::max(shape.topDb.value_or(automatic.topDb), threshold + 0.1);
    // The share of the whole movement allowed in one frame.
    constexpr double frameMs = 1000.0 / kFramesPerSecond;
    const double rise = shape.attackMs > frameMs ? frameMs / shape.attackMs : 1.0;
    const double fall = shape.releaseMs > frameMs ? frameMs / shape.releaseMs : 1.0;

    const size_t n = db.size();
    std::vector<double> open(n);
    double now = 0;
    for (size_t f = 0; f < n; ++f) {
        const double wanted = std::clamp((double(db[f]) - threshold) / (top - threshold), 0.0, 1.0);
        now += std::clamp(wanted - now, -fall, rise);
        open[f] = now;
    }
    const qint16 lo = std::max<qint16>(1, std::min(servoMin, servoMax));
    const qint16 hi = std::max<qint16>(lo, std::max(servoMin, servoMax));
    const double closed = shape.closedAtMax ? hi : lo;
    const double wide = shape.closedAtMax ? lo : hi;
    const size_t lead = size_t(leadFrames(shape.leadMs));
    std::vector<qint16> out(n);
    for (size_t f = 0; f < n; ++f) {
        // Earlier by the lead: frame f shows what the sound does at f + lead.
        const double o = f + lead < n ? open[f + lead] : 0.0;
        out[f] = qint16(std::lround(closed + o * (wide - closed)));
    }
    return out;
}

} // namespace mk::jaw
