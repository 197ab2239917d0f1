#include "tracks/TakeDiff.h"

namespace mk::takes {

namespace {
/// Differences this close together share one run: a run costs more than a
/// few frames' worth of memory.
constexpr qint64 kMergeGap = 8;
/// What the allocator adds to a block: its header and the rounding up.
constexpr qint64 kBlockOverhead = 32;

template <class T>
qint64 heldBy(const std::vector<T>& v)
{
    return v.capacity() == 0 ? 0 : qint64(v.capacity() * sizeof(T)) + kBlockOverhead;
}
} // namespace

qint64 TrackChange::bytes() const
{
    qint64 n = qint64(sizeof(TrackChange)) + heldBy(runs);
    for (const Run& r : runs)
        n += heldBy(r.before) + heldBy(r.after);
    return n;
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
        // Each side keeps only the frames its array holds, in a block of
        // exactly that size.
        Run r;
        r.start = qint32(start);
        const qint64 end = lastDiff + 1;
        if (start < nb)
            r.before.assign(b.begin() + start, b.begin() + std::min(end, nb));
        if (start < na)
            r.after.assign(after.begin() + start, after.begin() + std::min(end, na));
        out.runs.push_back(std::move(r));
        i = lastDiff + 1;
    }
    out.runs.shrink_to_fit();
    return !out.runs.empty() || nb != na || before.maxframe != maxframeAfter;
}

} // namespace mk::takes
