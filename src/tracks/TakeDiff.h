#pragma once
// What one take (or one command) changed in a track's recording, kept small
// enough to hold a long undo history: only the runs of frames that differ,
// with their positions before and after, and the array's length and maxframe
// on both sides. No widgets; the undo stack in the main window holds these.
#include <QtGlobal>

#include <algorithm>
#include <span>
#include <vector>

namespace mk::takes {

/// Frames from `start` on differ. Each side holds only the frames its own
/// array has: past an array's end the side is short, and the frames there read
/// as 0 (what a track grown to that length holds).
struct Run {
    qint32 start = 0;
    std::vector<qint16> before;
    std::vector<qint16> after;
};

struct TrackChange {
    int track = 0;
    qint32 sizeBefore = 0; ///< elements of the array (upper bound + 1)
    qint32 sizeAfter = 0;
    qint32 maxframeBefore = 0;
    qint32 maxframeAfter = 0;
    std::vector<Run> runs;

    /// Memory held, allocations included, for the history's bound.
    qint64 bytes() const;
    /// Some frame's position differs; not just the length or maxframe.
    bool movesPositions() const { return !runs.empty(); }
};

/// A track's recording as the history last saw it.
struct Snapshot {
    std::vector<qint16> data;
    qint32 maxframe = 0;
};

/// The change from `before` to the recording `after` with `maxframeAfter`;
/// false when nothing differs. Runs closer than a few frames are merged.
bool diff(int track, const Snapshot& before, std::span<const qint16> after, qint32 maxframeAfter,
          TrackChange& out);

/// Puts a track back to one side of a change (toBefore: undo; else redo),
/// through the track's own members (maxframe, datalength, dataStartPoint,
/// data). `current` is the track's recording as it is now. The length and
/// maxframe always become that side's: a length changed since without a step
/// (a play that grew the tracks and recorded nothing) only added frames of 0.
template <class Track>
void restore(Track& t, std::span<const qint16> current, const TrackChange& c, bool toBefore)
{
    const qint32 targetSize = toBefore ? c.sizeBefore : c.sizeAfter;
    const qint32 targetMax = toBefore ? c.maxframeBefore : c.maxframeAfter;
    qint32 size = qint32(current.size());
    if ((targetSize != size || targetMax != t.maxframe()) && targetSize >= 1) {
        // maxframe cuts the array to targetMax + 1 before the length is set:
        // keep what lies between that and the target length.
        const qint32 keepFrom = std::min(targetMax + 1, size);
        const qint32 keepTo = std::min(targetSize, size);
        std::vector<qint16> keep;
        if (keepTo > keepFrom)
            keep.assign(current.begin() + keepFrom, current.begin() + keepTo);
        t.setMaxframe(targetMax);
        t.setDatalength(targetSize - 1);
        t.setDataStartPoint(keepFrom);
        for (qint16 v : keep)
            t.setData(v);
        size = targetSize;
    }
    for (const Run& r : c.runs) {
        const std::vector<qint16>& values = toBefore ? r.before : r.after;
        const qint32 n = std::min<qint32>(qint32(values.size()), size - r.start);
        if (n <= 0)
            continue;
        t.setDataStartPoint(r.start);
        for (qint32 i = 0; i < n; ++i)
            t.setData(values[size_t(i)]);
    }
}

} // namespace mk::takes
