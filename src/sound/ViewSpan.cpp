#include "sound/ViewSpan.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mk::view {

namespace {

qint64 fullWidth(const Limits& l) { return std::max<qint64>(l.soundEnd - l.soundStart, 0); }

qint64 roundToPosition(double v)
{
    if (!std::isfinite(v))
        return 0;
    return qint64(std::llround(std::clamp(v, -9e15, 9e15)));
}

} // namespace

Limits limitsOf(qint32 soundStart, qint32 soundEnd, qint32 soundLength, qint32 soundLengthMs, int pixels)
{
    Limits l{soundStart, soundEnd, 0, std::max(pixels, 1)};
    // A frame lasts 100/3 ms.
    if (soundLengthMs > 0)
        l.positionsPerFrame = double(soundLength) / soundLengthMs * (100.0 / 3);
    return l;
}

qint64 narrowest(const Limits& l)
{
    const double frames = l.pixels / kMaxPixelsPerFrame;
    const qint64 w = std::max(roundToPosition(frames * l.positionsPerFrame), kMinPositions);
    return std::min(w, fullWidth(l));
}

Span whole(const Limits& l) { return {l.soundStart, std::max(l.soundEnd, l.soundStart)}; }

Span clamp(Span s, const Limits& l)
{
    const qint64 w = std::clamp(s.width(), narrowest(l), fullWidth(l));
    const qint64 start = std::clamp(s.start, l.soundStart, std::max(l.soundEnd - w, l.soundStart));
    return {start, start + w};
}

Span zoomAt(const Span& s, const Limits& l, double fraction, double factor)
{
    fraction = std::clamp(std::isfinite(fraction) ? fraction : 0.5, 0.0, 1.0);
    const double anchor = s.start + fraction * double(s.width());
    const qint64 w = std::clamp(roundToPosition(double(s.width()) * factor), narrowest(l), fullWidth(l));
    // At a limit the width stays, and so does the span: a wheel turned on at
    // the limit does not creep sideways.
    if (w == s.width())
        return clamp(s, l);
    const qint64 start = roundToPosition(anchor - fraction * double(w));
    return clamp({start, start + w}, l);
}

Span zoomAround(const Span& s, const Limits& l, qint64 position, double factor)
{
    // A cursor on the header (a fresh load puts it at 0) is at the start.
    position = std::clamp(position, l.soundStart, std::max(l.soundEnd, l.soundStart));
    if (s.width() <= 0 || position < s.start || position > s.end) {
        const qint64 w = s.width();
        return zoomAt(clamp({position - w / 2, position - w / 2 + w}, l), l, 0.5, factor);
    }
    return zoomAt(s, l, double(position - s.start) / double(s.width()), factor);
}

Span panBy(const Span& s, const Limits& l, double positions)
{
    const qint64 d = roundToPosition(positions);
    return clamp({s.start + d, s.end + d}, l);
}

double zoomFactor(int angle) { return std::pow(0.8, angle / 120.0); }

double panAmount(const Span& s, const Limits& l, int angle, int pixelDelta)
{
    if (pixelDelta != 0)
        return -double(pixelDelta) * double(s.width()) / std::max(l.pixels, 1);
    return -angle / 120.0 * double(s.width()) / 10.0;
}

Bar scrollBar(const Span& s, const Limits& l)
{
    const auto toInt = [](qint64 v) {
        return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    const Span c = clamp(s, l);
    Bar b;
    b.minimum = toInt(l.soundStart);
    b.maximum = toInt(std::max(l.soundEnd - c.width(), l.soundStart));
    b.pageStep = toInt(std::max<qint64>(c.width(), 1));
    b.singleStep = toInt(std::max<qint64>(c.width() / 10, 1));
    b.value = toInt(c.start);
    return b;
}

Span fromScrollBar(const Span& s, const Limits& l, int value) { return clamp({value, value + s.width()}, l); }

Span follow(const Span& s, const Limits& l, qint64 cursor)
{
    if (cursor >= s.start && cursor < s.end)
        return s;
    return clamp({cursor, cursor + s.width()}, l);
}

} // namespace mk::view
