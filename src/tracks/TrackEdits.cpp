#include "tracks/TrackEdits.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/Rounding.h"

namespace mk::edits {

namespace {

/// The part of `r` inside data of `size` frames.
FrameRange within(FrameRange r, qint64 size)
{
    return {std::max<qint32>(r.from, 0), qint32(std::min<qint64>(r.to, size - 1))};
}

/// A recorded position held within the servo's range; it never becomes 0,
/// which would read as "nothing recorded".
qint16 held(double v, Limits limits)
{
    const qint32 low = std::max(limits.low, 1);
    const qint32 high = std::max(limits.high, low);
    return qint16(std::clamp(roundHalfEven(std::clamp(v, -1e9, 1e9)), double(low), double(high)));
}

} // namespace

void clear(std::span<qint16> data, FrameRange r)
{
    r = within(r, qint64(data.size()));
    for (qint32 f = r.from; f <= r.to; ++f)
        data[size_t(f)] = 0;
}

void smooth(std::span<qint16> data, FrameRange r, int frames, Limits limits)
{
    r = within(r, qint64(data.size()));
    const qint32 half = std::max(frames, 0) / 2;
    if (half == 0 || r.empty())
        return;
    std::vector<qint64> sums; // sums[i]: the run's first i positions added up
    std::vector<qint16> out;
    for (qint32 a = r.from; a <= r.to;) {
        if (data[size_t(a)] == 0) {
            ++a;
            continue;
        }
        qint32 b = a;
        while (b < r.to && data[size_t(b + 1)] != 0)
            ++b;
        // One run of recorded frames, a..b.
        sums.assign(1, 0);
        for (qint32 f = a; f <= b; ++f)
            sums.push_back(sums.back() + data[size_t(f)]);
        out.clear();
        for (qint32 f = a; f <= b; ++f) {
            const qint32 h = std::min({half, f - a, b - f});
            if (h == 0) {
                out.push_back(data[size_t(f)]);
                continue;
            }
            const qint64 total = sums[size_t(f - a + h + 1)] - sums[size_t(f - a - h)];
            out.push_back(held(double(total) / (2 * h + 1), limits));
        }
        std::copy(out.begin(), out.end(), data.begin() + a);
        a = b + 1;
    }
}

void scale(std::span<qint16> data, FrameRange r, double factor, Limits limits)
{
    r = within(r, qint64(data.size()));
    const double centre = (double(limits.low) + limits.high) / 2;
    for (qint32 f = r.from; f <= r.to; ++f) {
        qint16& v = data[size_t(f)];
        if (v != 0)
            v = held(centre + (v - centre) * factor, limits);
    }
}

void offset(std::span<qint16> data, FrameRange r, qint32 delta, Limits limits)
{
    r = within(r, qint64(data.size()));
    for (qint32 f = r.from; f <= r.to; ++f) {
        qint16& v = data[size_t(f)];
        if (v != 0)
            v = held(double(v) + delta, limits);
    }
}

qint32 lostByShift(std::span<const qint16> data, FrameRange r, qint32 by)
{
    r = within(r, qint64(data.size()));
    qint32 lost = 0;
    for (qint32 f = r.from; f <= r.to && qint64(f) + by < 0; ++f)
        lost += data[size_t(f)] != 0;
    return lost;
}

FrameRange shift(std::vector<qint16>& data, FrameRange r, qint32 by)
{
    r = within(r, qint64(data.size()));
    if (r.empty() || by == 0)
        return {};
    const qint64 lastTo = qint64(r.to) + by;
    if (lastTo > std::numeric_limits<qint32>::max())
        return {};
    const std::vector<qint16> moved(data.begin() + r.from, data.begin() + r.to + 1);
    std::fill(data.begin() + r.from, data.begin() + r.to + 1, qint16(0));
    if (lastTo >= qint64(data.size()))
        data.resize(size_t(lastTo) + 1, 0);
    for (size_t i = 0; i < moved.size(); ++i) {
        const qint64 g = qint64(r.from) + qint64(i) + by;
        if (g >= 0)
            data[size_t(g)] = moved[i];
    }
    return {std::min<qint32>(r.from, qint32(std::max<qint64>(qint64(r.from) + by, 0))),
            qint32(std::max<qint64>(r.to, lastTo))};
}

std::vector<qint16> copy(std::span<const qint16> data, FrameRange r)
{
    std::vector<qint16> out;
    out.reserve(size_t(r.length()));
    for (qint64 f = r.from; f <= r.to; ++f)
        out.push_back(f >= 0 && f < qint64(data.size()) ? data[size_t(f)] : qint16(0));
    return out;
}

FrameRange paste(std::vector<qint16>& data, qint32 at, std::span<const qint16> clip, Limits limits)
{
    const qint64 last = qint64(at) + qint64(clip.size()) - 1;
    if (clip.empty() || last < 0 || last > std::numeric_limits<qint32>::max())
        return {};
    if (last >= qint64(data.size()))
        data.resize(size_t(last) + 1, 0);
    for (size_t i = 0; i < clip.size(); ++i) {
        const qint64 f = qint64(at) + qint64(i);
        if (f >= 0)
            data[size_t(f)] = clip[i] == 0 ? qint16(0) : held(clip[i], limits);
    }
    return {std::max<qint32>(at, 0), qint32(last)};
}

FrameRange draw(std::span<qint16> data, DrawPoint a, DrawPoint b, Limits limits)
{
    if (a.frame > b.frame)
        std::swap(a, b);
    const FrameRange r = within({a.frame, b.frame}, qint64(data.size()));
    for (qint32 f = r.from; f <= r.to; ++f) {
        const double t = b.frame == a.frame ? 1.0 : double(f - a.frame) / (double(b.frame) - a.frame);
        data[size_t(f)] = held(a.position + (double(b.position) - a.position) * t, limits);
    }
    return r;
}

qint32 frameAt(double x, double first, double last, int width)
{
    const double instant = width > 0 ? first + x * (last - first) / width : first;
    const double f = std::floor(instant + 0.5);
    return qint32(std::clamp(std::isfinite(f) ? f : 0.0, double(std::numeric_limits<qint32>::min()),
                             double(std::numeric_limits<qint32>::max())));
}

double xOfFrameStart(qint32 f, double first, double last, int width)
{
    if (width <= 0 || !(last > first))
        return 0;
    return (f - 0.5 - first) * width / (last - first);
}

qint32 positionAtRow(double row, int rows, Limits limits)
{
    if (rows <= 1)
        return held((double(limits.low) + limits.high) / 2, limits);
    const double t = 1.0 - std::clamp(row, 0.0, double(rows - 1)) / (rows - 1);
    return held(limits.low + t * (double(limits.high) - limits.low), limits);
}

} // namespace mk::edits
