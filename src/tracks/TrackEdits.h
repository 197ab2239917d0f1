#pragma once
// Editing what was recorded, without widgets: the arithmetic of each edit on
// one track's positions over a stretch of frames. The window copies a
// track's recording, edits the copy here and writes back what changed, so
// the undo history sees an edit like any other change.
//
// Position 0 means "nothing recorded" (the servo holds): smoothing, scaling
// and offsetting leave such frames at 0 and never make a recorded frame 0.
// Results that are positions stay within the servo's limits.
#include <QtGlobal>

#include <span>
#include <vector>

namespace mk::edits {

/// Frames from..to, both included.
struct FrameRange {
    qint32 from = 0;
    qint32 to = -1;
    bool empty() const { return to < from; }
    qint32 length() const { return empty() ? 0 : to - from + 1; }
    friend bool operator==(const FrameRange&, const FrameRange&) = default;
};

/// The servo's lowest and highest position.
struct Limits {
    qint32 low = 1;
    qint32 high = 255;
};

/// Nothing recorded over `r` (the part of it inside the data).
void clear(std::span<qint16> data, FrameRange r);

/// A moving average over `frames` frames (an even count counts as the next
/// odd one), centred on each frame. Frames at 0 are not averaged in and stay
/// 0, so every run of recorded frames is smoothed on its own; near a run's
/// ends and the range's ends the window narrows evenly, so those ends keep
/// their positions. The results are held within `limits`.
void smooth(std::span<qint16> data, FrameRange r, int frames, Limits limits);

/// Scaled by `factor` around the centre of the servo's range, held within it.
void scale(std::span<qint16> data, FrameRange r, double factor, Limits limits);

/// Moved by `delta` positions, held within the servo's range.
void offset(std::span<qint16> data, FrameRange r, qint32 delta, Limits limits);

/// Recorded frames of `r` that a shift by `by` frames would move before
/// frame 0, where they are lost.
qint32 lostByShift(std::span<const qint16> data, FrameRange r, qint32 by);

/// The positions of `r` move `by` frames later (earlier when negative). The
/// frames they leave hold nothing recorded, those they land on are replaced;
/// what lands before frame 0 is dropped, what lands past the end makes the
/// track longer. Returns the frames that changed (possibly past the old end).
FrameRange shift(std::vector<qint16>& data, FrameRange r, qint32 by);

/// The positions of `r`; frames past the data read as 0.
std::vector<qint16> copy(std::span<const qint16> data, FrameRange r);

/// Writes `clip` from frame `at` on, held within `limits` (0 stays 0); a
/// clip reaching past the end makes the track longer. Returns the frames
/// written.
FrameRange paste(std::vector<qint16>& data, qint32 at, std::span<const qint16> clip, Limits limits);

/// One point of a drawn line: a frame and the position drawn there.
struct DrawPoint {
    qint32 frame = 0;
    qint32 position = 0;
};

/// A straight line from `a` to `b`, one position every frame in between, so
/// a fast pointer skips no frame; held within `limits`, inside the data only.
/// Returns the frames written.
FrameRange draw(std::span<qint16> data, DrawPoint a, DrawPoint b, Limits limits);

// --- Where things are in a lane ---------------------------------------------
// A view from frame instant `first` at its left edge to `last` at its right
// edge, `width` pixels wide (the lanes' and the waveform's span).

/// The frame under pixel x (the frame nearest the instant x stands for).
qint32 frameAt(double x, double first, double last, int width);
/// The x where frame f's stretch of the view begins (its instant less half a frame).
double xOfFrameStart(qint32 f, double first, double last, int width);
/// The position at `row` of a lane whose rows 0..rows-1 run from the servo's
/// highest position (row 0) to its lowest: the lane's height is the range.
qint32 positionAtRow(double row, int rows, Limits limits);

} // namespace mk::edits
