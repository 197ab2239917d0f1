#pragma once
// The arithmetic of the waveform view, apart from the widget: which bytes of
// the file a redraw reads and where they land, zoom and pan, and the
// conversions between file positions, view x and milliseconds.
//
// The view's user scale runs x 0..1000 and y 0..256. Positions are 1-based
// byte positions in the file. Every result rounds half to even, and each
// conversion keeps the order of operations it has always had, because the
// order decides which way a near-tie rounds.
//
// A conversion whose divisor is zero (a sound of length 0, an empty view)
// takes the quotient as 0 rather than failing.
#include <QtGlobal>

#include <vector>

namespace mk::wave {

constexpr int scaleWidth = 1000;
constexpr int scaleHeight = 256;

// --- Milliseconds and positions ------------------------------------------

/// Writing cCurrentTime: round((v - start) / length * lengthMs).
qint32 positionToMs(qint32 position, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs);
/// Writing cCurrentTimeInMilliseconds: round(ms / lengthMs * length) + start.
qint32 msToPosition(qint32 ms, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs);
/// The playback clock: round(length / lengthMs * ms) + start.
qint32 clockPosition(qint32 ms, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs);
/// The mouse: round(lengthMs / length * (position - start)).
qint32 mouseMs(qint32 position, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs);
/// The position under scale x: round(x / 1000 * (end - start) + start), at least 0.
qint32 mousePosition(double x, qint32 displayStart, qint32 displayEnd);

// --- Positions on screen ---------------------------------------------------

/// round((position - displayStart) / range * 1000). Kept within +-1 000 000
/// so that an absurd position still gives a place (far off screen).
qint32 viewX(qint64 position, qint64 displayStart, double range);
/// The cursor and marker: viewX over displayEnd - displayStart.
qint32 cursorX(qint32 position, qint32 displayStart, qint32 displayEnd);

// --- Zoom and pan -----------------------------------------------------------

struct View {
    qint32 displayStart = 0;
    qint32 displayEnd = 0;
    qint32 zoomCentre = 0;
    qint16 panValue = 0; ///< 0..10000, the place of a scroll bar
};

/// czoom = z (1..1000, 1000 the whole sound). Throws Overflow when the
/// range does not fit 32 bits.
View zoom(qint16 z, qint32 soundStart, qint32 soundEnd, qint32 zoomCentre);
/// cpan = v (0..10000). panValue is v. The start is measured from position 0.
View pan(qint16 v, qint32 soundStart, qint32 soundEnd, qint32 displayStart, qint32 displayEnd);

// --- What a redraw reads ---------------------------------------------------

struct PlotPoint {
    qint64 position; ///< 1-based byte position read
    double x;        ///< scale x of the point
};

struct PlotPlan {
    qint32 displayStart = 0; ///< as adjusted by the redraw (the view keeps it)
    qint32 displayEnd = 0;
    double range = 0;        ///< R after the adjustments; the clip shading uses it
    bool highBytes = false;  ///< 16-bit drawing: the points are high bytes of samples
    std::vector<PlotPoint> points;
};

/// 8-bit sound reads one byte per point, every other depth the high byte of
/// a 16-bit sample at an even position. A range under 100 bytes is widened
/// to 100; at most 1001 points.
PlotPlan planPlot(qint16 bitsPerSample, qint32 displayStart, qint32 displayEnd);

/// The plotted value 0..255 of a byte read (larger values lie lower).
int plotValue(bool highBytes, quint8 byte);
/// The value drawn for a position outside the file.
int silenceValue(bool highBytes);

} // namespace mk::wave
