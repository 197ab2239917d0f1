#include "tracks/MotionEnvelope.h"

#include <algorithm>
#include <cmath>

namespace mk::lanes {

namespace {

/// Keeps absurd view edges (a zero-length sound, a view far past the end)
/// inside what a 64-bit frame index and the conversions can hold.
double tame(double v)
{
    if (!std::isfinite(v))
        return 0;
    return std::clamp(v, -1e15, 1e15);
}

void widen(ColumnRange& acc, qint16 lo, qint16 hi)
{
    if (lo == 0 && hi == 0)
        return;
    if (acc.empty()) {
        acc = {lo, hi};
        return;
    }
    acc.lo = std::min(acc.lo, lo);
    acc.hi = std::max(acc.hi, hi);
}

constexpr qint64 blockSize(int level) { return qint64(1) << (4 * (level + 1)); }

/// `changed` grows to take in frame i (an empty span becomes just i).
void widen(FrameSpan& changed, qint64 i)
{
    if (changed.to < changed.from) {
        changed = {i, i};
    } else {
        changed.from = std::min(changed.from, i);
        changed.to = std::max(changed.to, i);
    }
}

} // namespace

FrameSpan columnFrames(double first, double last, int columns, int c)
{
    if (columns <= 0 || c < 0 || c >= columns)
        return {};
    first = tame(first);
    last = tame(last);
    const double k = (last - first) / columns;
    const double a = first + c * k;
    const double b = a + k;
    FrameSpan s{qint64(std::ceil(a)), qint64(std::ceil(b)) - 1};
    if (s.from > s.to) {
        // Zoomed in past one frame per column: the frame nearest the middle.
        const qint64 nearest = qint64(std::floor((a + b) / 2 + 0.5));
        s = {nearest, nearest};
    }
    return s;
}

ColumnRange rangeOf(std::span<const qint16> data, qint64 from, qint64 to)
{
    ColumnRange r;
    from = std::max<qint64>(from, 0);
    to = std::min<qint64>(to, qint64(data.size()) - 1);
    for (qint64 i = from; i <= to; ++i) {
        const qint16 v = data[size_t(i)];
        widen(r, v, v);
    }
    return r;
}

void MotionEnvelope::assign(std::span<const qint16> data)
{
    m_values.assign(data.begin(), data.end());
    rebuildAll();
}

void MotionEnvelope::rebuildAll()
{
    const qint64 n = size();
    for (int l = 0; l < kLevels; ++l) {
        const qint64 blocks = (n + blockSize(l) - 1) / blockSize(l);
        m_lo[l].assign(size_t(blocks), 0);
        m_hi[l].assign(size_t(blocks), 0);
        for (qint64 b = 0; b < blocks; ++b)
            rebuildBlock(l, b);
    }
}

void MotionEnvelope::rebuildBlock(int level, qint64 block)
{
    ColumnRange r;
    if (level == 0) {
        r = rangeOf(m_values, block << kShift, (block << kShift) + 15);
    } else {
        const auto& lo = m_lo[level - 1];
        const auto& hi = m_hi[level - 1];
        const qint64 end = std::min<qint64>((block + 1) << kShift, qint64(lo.size()));
        for (qint64 i = block << kShift; i < end; ++i)
            widen(r, lo[size_t(i)], hi[size_t(i)]);
    }
    m_lo[level][size_t(block)] = r.lo;
    m_hi[level][size_t(block)] = r.hi;
}

FrameSpan MotionEnvelope::sync(std::span<const qint16> data, qint64 from, qint64 to)
{
    const qint64 n = qint64(data.size());
    const qint64 old = size();
    if (n < old) {
        // Cut short: compare what both hold, count the rest as changed, and
        // start afresh.
        FrameSpan changed{n, old - 1};
        for (qint64 i = 0; i < n; ++i) {
            if (data[size_t(i)] != m_values[size_t(i)]) {
                changed.from = i;
                break;
            }
        }
        assign(data);
        return changed;
    }
    FrameSpan changed;
    if (n > old) {
        // Grown (a track recorded past its end grows by a frame at a time):
        // the new frames are taken in and count as changed.
        m_values.insert(m_values.end(), data.begin() + old, data.end());
        growBlocks();
        changed = {old, n - 1};
    }
    from = std::max<qint64>(from, 0);
    to = std::min(to, old - 1);
    for (qint64 i = from; i <= to; ++i) {
        if (data[size_t(i)] == m_values[size_t(i)])
            continue;
        m_values[size_t(i)] = data[size_t(i)];
        widen(changed, i);
    }
    return rebuilt(changed);
}

FrameSpan MotionEnvelope::rebuilt(FrameSpan changed)
{
    if (changed.to < changed.from)
        return {};
    for (int l = 0; l < kLevels; ++l) {
        const qint64 shift = 4 * (l + 1);
        for (qint64 b = changed.from >> shift; b <= changed.to >> shift; ++b)
            rebuildBlock(l, b);
    }
    return changed;
}

void MotionEnvelope::growBlocks()
{
    const qint64 n = size();
    for (int l = 0; l < kLevels; ++l) {
        const qint64 blocks = (n + blockSize(l) - 1) / blockSize(l);
        m_lo[l].resize(size_t(blocks), 0);
        m_hi[l].resize(size_t(blocks), 0);
    }
}

FrameSpan MotionEnvelope::put(qint64 from, std::span<const qint16> values)
{
    FrameSpan changed;
    const qint64 old = size();
    const qint64 end = from + qint64(values.size());
    if (end > old) {
        m_values.resize(size_t(end), 0);
        growBlocks();
        changed = {old, end - 1};
    }
    for (qint64 i = std::max<qint64>(from, 0); i < end; ++i) {
        const qint16 v = values[size_t(i - from)];
        if (v == m_values[size_t(i)])
            continue;
        m_values[size_t(i)] = v;
        widen(changed, i);
    }
    return rebuilt(changed);
}

ColumnRange MotionEnvelope::range(qint64 from, qint64 to) const
{
    from = std::max<qint64>(from, 0);
    to = std::min(to, size() - 1);
    // Plain ints in the loop; 0 (nothing recorded) never lowers lo.
    int lo = 0x10000;
    int hi = -0x10000;
    const auto take = [&](qint16 l, qint16 h) {
        if (l == 0 && h == 0)
            return;
        lo = std::min<int>(lo, l);
        hi = std::max<int>(hi, h);
    };
    qint64 i = from;
    while (i <= to) {
        // The largest block that starts here and ends within the range
        // (block sizes are powers of two: masks and shifts, no division).
        int level = kLevels - 1;
        while (level >= 0 && ((i & (blockSize(level) - 1)) != 0 || i + blockSize(level) - 1 > to))
            --level;
        if (level < 0) {
            // Single frames up to the next block boundary.
            const qint64 end = std::min(to, i | (blockSize(0) - 1));
            for (; i <= end; ++i)
                take(m_values[size_t(i)], m_values[size_t(i)]);
        } else {
            const size_t b = size_t(i >> (kShift * (level + 1)));
            take(m_lo[level][b], m_hi[level][b]);
            i += blockSize(level);
        }
    }
    return hi < lo ? ColumnRange{} : ColumnRange{qint16(lo), qint16(hi)};
}

std::vector<ColumnRange> MotionEnvelope::columns(double first, double last, int columns) const
{
    std::vector<ColumnRange> out(size_t(std::max(columns, 0)));
    for (int c = 0; c < columns; ++c) {
        const FrameSpan s = columnFrames(first, last, columns, c);
        out[size_t(c)] = range(s.from, s.to);
    }
    return out;
}

FrameWindow frameWindow(bool hasSound, qint32 displayStart, qint32 displayEnd, qint32 soundStart,
                        qint32 soundLength, qint32 soundLengthMs, qint32 maxframe)
{
    // A frame is 100/3 ms: frames = ms x 0.03.
    const auto frameOf = [&](qint32 position) {
        if (!hasSound)
            return double(position) / 1000.0 * maxframe;
        if (soundLength <= 0)
            return 0.0;
        return (double(position) - soundStart) / soundLength * soundLengthMs * 0.03;
    };
    return {tame(frameOf(displayStart)), tame(frameOf(displayEnd))};
}

int rowOf(qint32 v, qint32 low, qint32 high, int height)
{
    if (height <= 1)
        return 0;
    if (high <= low)
        return height / 2;
    const double t = std::clamp((double(v) - low) / (double(high) - low), 0.0, 1.0);
    return int(std::lround((1.0 - t) * (height - 1)));
}

} // namespace mk::lanes
