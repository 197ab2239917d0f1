#pragma once
// What a motion lane draws, without widgets: the lowest and highest recorded
// position among the frames under each pixel column.
//
// A track holds one position per frame and 0 where nothing is recorded. A
// column covers the frames whose instants fall inside it; when the view is
// zoomed in so far that no frame instant falls inside a column, the column
// shows the frame nearest its middle. Frames holding 0 are left out, so a
// column with nothing recorded is a gap, never a line at position 0.
//
// MotionEnvelope keeps a copy of one track's positions with min/max summaries
// over blocks of 16, 256 and 4096 frames, so a column costs a few dozen reads
// however many frames it covers: a two-hour show draws as fast as a short one.
#include <QtGlobal>

#include <array>
#include <span>
#include <vector>

namespace mk::lanes {

/// The recorded range under one column; empty() when nothing is recorded there.
struct ColumnRange {
    qint16 lo = 0;
    qint16 hi = 0;
    bool empty() const { return lo == 0 && hi == 0; }
    friend bool operator==(const ColumnRange&, const ColumnRange&) = default;
};

/// The frames column `c` of `columns` covers when the view runs from frame
/// instant `first` (left edge) to `last` (right edge): frames with
/// first <= i < last spread evenly, at least the one nearest the middle.
/// `to` < `from` when the column lies wholly before frame 0.
struct FrameSpan {
    qint64 from = 0;
    qint64 to = -1;
};
FrameSpan columnFrames(double first, double last, int columns, int c);

/// Min/max of the non-zero values data[from..to] (clipped to the data).
ColumnRange rangeOf(std::span<const qint16> data, qint64 from, qint64 to);

class MotionEnvelope {
public:
    /// Takes a copy of the whole track.
    void assign(std::span<const qint16> data);
    /// Brings the copy up to date with `data` over frames from..to, and over
    /// the frames a longer `data` adds (the whole of it when it is shorter).
    /// Returns the first and last frame that differed, or {0, -1} when
    /// nothing did.
    FrameSpan sync(std::span<const qint16> data, qint64 from, qint64 to);
    /// Frames from.. take `values` (the copy grows to hold them); returns the
    /// first and last frame that differed, or {0, -1}.
    FrameSpan put(qint64 from, std::span<const qint16> values);
    /// sync() over the whole track.
    FrameSpan syncAll(std::span<const qint16> data) { return sync(data, 0, qint64(data.size()) - 1); }

    /// Min/max of the non-zero positions among frames from..to.
    ColumnRange range(qint64 from, qint64 to) const;
    /// One range per column for a view from frame instant `first` to `last`.
    std::vector<ColumnRange> columns(double first, double last, int columns) const;

    qint64 size() const { return qint64(m_values.size()); }
    std::span<const qint16> values() const { return m_values; }

private:
    static constexpr int kLevels = 3;
    static constexpr int kShift = 4; // 16 entries of a level per entry of the next
    void rebuildBlock(int level, qint64 block);
    void growBlocks();
    /// Rebuilds the summaries over `changed` and returns it.
    FrameSpan rebuilt(FrameSpan changed);
    void rebuildAll();
    ColumnRange rangeAt(int level, qint64 from, qint64 to) const;

    std::vector<qint16> m_values;
    // m_lo[l][b], m_hi[l][b]: min/max over frames b << (4 (l + 1)) onwards;
    // lo 0 and hi 0 for a block with nothing recorded.
    std::array<std::vector<qint16>, kLevels> m_lo;
    std::array<std::vector<qint16>, kLevels> m_hi;
};

/// The frame instants at the left and right edges of a view of the sound
/// showing byte positions displayStart..displayEnd (the waveform's span).
/// Without a sound the view stands for the whole track (frames 0..maxframe
/// over positions 0..1000), as scrubbing without a sound does.
struct FrameWindow {
    double first = 0;
    double last = 0;
};
FrameWindow frameWindow(bool hasSound, qint32 displayStart, qint32 displayEnd, qint32 soundStart,
                        qint32 soundLength, qint32 soundLengthMs, qint32 maxframe);

/// The row (0 at the top of a lane `height` pixels high) of position `v` on
/// a scale from `low` (bottom row) to `high` (top row); outside it, the edge.
int rowOf(qint32 v, qint32 low, qint32 high, int height);

} // namespace mk::lanes
