#pragma once
// Zooming and panning the waveform and the lanes, apart from the widgets:
// which stretch of the sound a wheel turn, a key, the scroll bar or the
// playing cursor leaves on screen.
//
// A span is a pair of byte positions of the sound, as the waveform view
// holds them (cDisplayStart, cDisplayEnd). The widest span is the whole
// sound; the narrowest shows about kMaxPixelsPerFrame pixels a frame (but
// never fewer positions than the view draws, kMinPositions). Every result
// lies within the sound.
#include <QtGlobal>

namespace mk::view {

constexpr double kMaxPixelsPerFrame = 8;
/// The waveform widens anything narrower to this many positions.
constexpr qint64 kMinPositions = 100;

struct Span {
    qint64 start = 0;
    qint64 end = 0;
    qint64 width() const { return end - start; }
    friend bool operator==(const Span&, const Span&) = default;
};

/// The sound in positions and how many positions a frame (1/30 s) takes.
struct Limits {
    qint64 soundStart = 0;
    qint64 soundEnd = 0;
    double positionsPerFrame = 0;
    /// The view's width in pixels.
    int pixels = 1000;
};

/// Limits of a sound `soundLength` positions long lasting `soundLengthMs`.
Limits limitsOf(qint32 soundStart, qint32 soundEnd, qint32 soundLength, qint32 soundLengthMs, int pixels);

/// The narrowest span the limits allow (the whole sound when that is narrower).
qint64 narrowest(const Limits& l);
/// `s` moved (not resized) to lie within the sound, its width held between
/// narrowest() and the whole sound.
Span clamp(Span s, const Limits& l);
Span whole(const Limits& l);

/// Zooms by `factor` (below 1: in) keeping the position at `fraction`
/// (0 left edge .. 1 right edge) of the view where it is on screen.
Span zoomAt(const Span& s, const Limits& l, double fraction, double factor);
/// Zooms around `position` (the cursor): where it stands on screen when it
/// is in view, in the middle otherwise.
Span zoomAround(const Span& s, const Limits& l, qint64 position, double factor);
/// Moves by `positions` (negative: towards the start).
Span panBy(const Span& s, const Limits& l, double positions);

/// The wheel: one notch is 120 eighths of a degree. Zoom factor for `angle`
/// (positive: towards the user's screen, in).
double zoomFactor(int angle);
/// Positions to move for a wheel `angle` (a tenth of the view a notch,
/// positive angles going back) or, when `pixelDelta` is not 0, for a
/// touchpad that slid the picture that many pixels (the picture follows
/// the fingers).
double panAmount(const Span& s, const Limits& l, int angle, int pixelDelta);

/// A horizontal scroll bar over the sound: its value is the span's start.
struct Bar {
    int minimum = 0;
    int maximum = 0;
    int pageStep = 1;
    int singleStep = 1;
    int value = 0;
    friend bool operator==(const Bar&, const Bar&) = default;
};
Bar scrollBar(const Span& s, const Limits& l);
/// The span the scroll bar's `value` shows, as wide as `s`.
Span fromScrollBar(const Span& s, const Limits& l, int value);

/// While the show plays: a cursor that has left the span turns the page, to
/// a span of the same width starting at the cursor. Otherwise `s` itself.
Span follow(const Span& s, const Limits& l, qint64 cursor);

} // namespace mk::view
