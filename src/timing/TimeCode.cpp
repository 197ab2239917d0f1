#include "timing/TimeCode.h"

#include <QStringList>

#include <cmath>
#include <limits>

#include "platform/Rounding.h"

namespace mk {

namespace {

void appendField(QString& out, qint64 v)
{
    if (v < 10)
        out += QLatin1Char('0');
    out += QString::number(v);
}

} // namespace

QString timeCodeText(qint64 frames)
{
    // Counting down and starting before frame 0 both produce negative counts;
    // taken field by field they would give texts like "0-1", so they all show
    // as the start.
    if (frames < 0)
        frames = 0;
    const qint64 ff = frames % 30;
    const qint64 ss = (frames % 1800 - ff) / 30;
    const qint64 mm = (frames % 108000 - frames % 1800) / 1800;
    const qint64 hh = (frames - frames % 108000) / 108000;

    QString out;
    out.reserve(12);
    appendField(out, hh);
    out += QLatin1Char(':');
    appendField(out, mm);
    out += QLatin1Char(':');
    appendField(out, ss);
    out += QLatin1Char(':');
    appendField(out, ff);
    return out;
}

double roundedFrames(double ms)
{
    return roundHalfEven(ms / kFrameMs);
}

qint32 framesFromMs(double ms)
{
    return roundTo<qint32>(ms / kFrameMs);
}

qint64 msFromFrames(qint32 frames)
{
    return roundTo<qint64>(static_cast<double>(frames) * kFrameMs);
}

qint64 nextFrameBoundary(qint64 elapsed)
{
    const double frame = roundedFrames(static_cast<double>(elapsed));
    // The frame moves on near (frame + 0.5) frames of time. Start just below
    // that and step to the exact millisecond, so the answer agrees with the
    // rounding the tick itself does (ties like 50 ms = 1.5 frames included).
    qint64 e = static_cast<qint64>(std::floor((frame + 0.5) * kFrameMs)) - 1;
    if (e <= elapsed)
        e = elapsed + 1;
    // A frame lasts 34 ms at most; the bound only guards absurd magnitudes
    // where doubles no longer tell neighbouring milliseconds apart.
    for (int steps = 0; steps < 64 && roundedFrames(static_cast<double>(e)) == frame; ++steps)
        ++e;
    return e;
}

std::optional<qint32> parseTimeCode(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char(':'));
    if (fields.size() != 4)
        return std::nullopt;
    static constexpr qint64 kScale[4] = {108000, 1800, 30, 1};
    qint64 total = 0;
    for (int i = 0; i < 4; ++i) {
        const QString& f = fields[i];
        // As the display writes them: two digits each, hours possibly more.
        if (f.size() < 2 || (i > 0 && f.size() != 2) || f.size() > 6)
            return std::nullopt;
        for (QChar c : f)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        total += f.toLongLong() * kScale[i];
    }
    if (total > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(total);
}

} // namespace mk
