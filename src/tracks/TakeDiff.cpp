#include "tracks/TakeDiff.h"

namespace mk::takes {

namespace {
/// Differences this close together share one run: a run costs more than a
/// few frames' worth of memory.
constexpr qint64 kMergeGap = 8;
constexpr qint64 kRunOverhead = qint64(sizeof(Run)) + 32;
} // namespace

qint64 TrackChange::bytes() const
{
    qint64 n = qint64(sizeof(TrackChange)) + 32;
    for (const Run& r : runs)
        n += kRunOverhead + qint64(r.before.size() + r.after.size()) * qint64(sizeof(qint16));
    return n;
}

bool TrackChange::cutsRecording() const
{
    for (const Run& r : runs) {
        for (size_t i = 0; i < r.before.size(); ++i) {
            if (r.before[i] != 0 && r.after[i] == 0)
                return true;
        }
    }
    return false;
}

bool diff(int track, const Snapshot& before, std::span<const qint16> after, qint32 maxframeAfter, TrackChange& out)
{
    const std::span<const qint16> b(before.data);
    const qint64 nb = qint64(b.size());
    const qint64 na = qint64(after.size());
    const qint64 n = std::max(nb, na);
    auto at = [](std::span<const qint16> v, qint64 i) { return i < qint64(v.size()) ? v[size_t(i)] : qint16(0); };

    out = TrackChange{};
    out.track = track;
    out.sizeBefore = qint32(nb);
    out.sizeAfter = qint32(na);
    out.maxframeBefore = before.maxframe;
    out.maxframeAfter = maxframeAfter;

    qint64 i = 0;
    while (i < n) {
        // Skip equal stretches quickly where both sides have data.
        const qint64 common = std::min(nb, na);
        if (i < common) {
            const auto m = std::mismatch(b.begin() + i, b.begin() + common, after.begin() + i);
            i = m.first - b.begin();
        }
        while (i < n && at(b, i) == at(after, i))
            ++i;
        if (i >= n)
            break;
        // A run: until kMergeGap equal frames in a row (or the end).
        const qint64 start = i;
        qint64 lastDiff = i;
        while (i < n && i - lastDiff <= kMergeGap) {
            if (at(b, i) != at(after, i))
                lastDiff = i;
            ++i;
        }
        Run r;
        r.start = qint32(start);
        for (qint64 k = start; k <= lastDiff; ++k) {
            r.before.push_back(at(b, k));
            r.after.push_back(at(after, k));
        }
        out.runs.push_back(std::move(r));
        i = lastDiff + 1;
    }
    return !out.runs.empty() || nb != na || before.maxframe != maxframeAfter;
}

} // namespace mk::takes
