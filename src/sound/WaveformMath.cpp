#include "sound/WaveformMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/Rounding.h"

namespace mk::wave {

namespace {

constexpr double int32Max = std::numeric_limits<qint32>::max();

qint32 sum(qint32 rounded, qint32 start) { return checkedNarrow<qint32>(qint64(rounded) + start); }

} // namespace

qint32 positionToMs(qint32 position, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs)
{
    if (soundLength == 0)
        return 0;
    return roundTo<qint32>((double(position) - soundStart) / soundLength * soundLengthMs);
}

qint32 msToPosition(qint32 ms, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs)
{
    if (soundLengthMs == 0)
        return soundStart;
    return sum(roundTo<qint32>(double(ms) / soundLengthMs * soundLength), soundStart);
}

qint32 clockPosition(qint32 ms, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs)
{
    if (soundLengthMs == 0)
        return soundStart;
    return sum(roundTo<qint32>(double(soundLength) / soundLengthMs * ms), soundStart);
}

qint32 mouseMs(qint32 position, qint32 soundStart, qint32 soundLength, qint32 soundLengthMs)
{
    if (soundLength == 0)
        return 0;
    return roundTo<qint32>(double(soundLengthMs) / soundLength * (double(position) - soundStart));
}

qint32 mousePosition(double x, qint32 displayStart, qint32 displayEnd)
{
    // A drag may leave the view far to either side; the position stays a
    // position (0 at least, as ever, and no overflow at the other end).
    const double v = x / scaleWidth * (double(displayEnd) - displayStart) + displayStart;
    return roundTo<qint32>(std::clamp(roundHalfEven(v), 0.0, int32Max));
}

qint32 viewX(qint64 position, qint64 displayStart, double range)
{
    if (range == 0)
        return 0;
    const double v = double(position - displayStart) / range * scaleWidth;
    return roundTo<qint32>(std::clamp(v, -1e6, 1e6));
}

qint32 cursorX(qint32 position, qint32 displayStart, qint32 displayEnd)
{
    return viewX(position, displayStart, double(displayEnd) - displayStart);
}

View zoom(qint16 z, qint32 soundStart, qint32 soundEnd, qint32 zoomCentre)
{
    const float factor = float(z / 1000.0);
    const qint32 width = roundTo<qint32>(double(factor) * (double(soundEnd) - soundStart));
    const qint32 half = roundTo<qint32>(width / 2.0);

    View v;
    qint64 centre = zoomCentre;
    if (centre < half)
        centre = half;
    else if (centre > qint64(soundEnd) - half)
        centre = qint64(soundEnd) - half;
    v.zoomCentre = checkedNarrow<qint32>(centre);
    v.displayStart = checkedNarrow<qint32>(centre - half);
    v.displayEnd = checkedNarrow<qint32>(centre + half);

    const qint64 left = std::max<qint64>(qint64(v.displayStart) - soundStart, 0);
    const qint64 right = std::max<qint64>(qint64(soundEnd) - v.displayEnd, 1);
    v.panValue = roundTo<qint16>(double(left) / double(left + right) * 10000);
    return v;
}

View pan(qint16 value, qint32 soundStart, qint32 soundEnd, qint32 displayStart, qint32 displayEnd)
{
    const qint64 w = qint64(displayEnd) - displayStart;
    View v;
    v.panValue = value;
    v.displayStart = roundTo<qint32>(value / 10000.0 * double((qint64(soundEnd) - soundStart) - w));
    v.displayEnd = checkedNarrow<qint32>(v.displayStart + w);
    v.zoomCentre = roundTo<qint32>(double(w + 2 * qint64(v.displayStart)) / 2);
    return v;
}

PlotPlan planPlot(qint16 bitsPerSample, qint32 displayStart, qint32 displayEnd)
{
    PlotPlan plan;
    plan.highBytes = bitsPerSample != 8;
    qint32 start = displayStart;
    qint32 end = displayEnd;
    double r = double(end) - start;
    // Wide views sample 1000 evenly spread points; narrow ones read every
    // byte (or every sample) of the range, spread over the full width.
    const double wide = plan.highBytes ? 2000 : 1000;
    if (r >= wide) {
        plan.points.reserve(scaleWidth);
        for (int i = 1; i <= scaleWidth; ++i) {
            qint64 p = qint64(std::floor(r / 1000 * i + start));
            if (plan.highBytes && p % 2 != 0)
                ++p;
            plan.points.push_back({p, double(i)});
        }
    } else {
        if (r < 100) {
            end = checkedNarrow<qint32>(qint64(start) + 100);
            r = 100;
        }
        if (plan.highBytes) {
            if (start == 0)
                start = 1;
            if (start % 2 != 0)
                start = checkedNarrow<qint32>(qint64(start) + 1);
        }
        const int step = plan.highBytes ? 2 : 1;
        const double dx = (plan.highBytes ? 2000 : 1000) / r;
        double x = 0;
        plan.points.reserve(size_t((qint64(end) - start) / step + 1));
        for (qint64 p = start; p <= end; p += step) {
            plan.points.push_back({p, x});
            x += dx;
        }
    }
    plan.displayStart = start;
    plan.displayEnd = end;
    plan.range = r;
    return plan;
}

int plotValue(bool highBytes, quint8 byte)
{
    if (!highBytes)
        return byte;
    // The high byte is two's complement: 0..127 above the middle, 128..255 below.
    return byte <= 127 ? byte + 127 : byte - 128;
}

int silenceValue(bool highBytes) { return highBytes ? plotValue(true, 0) : 128; }

} // namespace mk::wave
