#include "tracks/NeedleGeometry.h"

#include <algorithm>
#include <cmath>

#include "platform/Rounding.h"

namespace mk::needles {

QLineF needleLine(double v)
{
    const double theta = v * 0.01235 - 1.575;
    return {QPointF(kShaftX, kShaftY),
            QPointF(kShaftX + kNeedleLength * std::sin(theta), kShaftY + kNeedleLength * std::cos(theta))};
}

float positionAt(double x, double y)
{
    // Straight below the shaft the slope is infinite; a hair to the right of
    // it gives the position pointing down instead of a division by zero.
    if (x == 53.0)
        x = 53.01;
    float a = static_cast<float>(std::atan((kShaftY - y) / (x - 53.0)) * 255.0 / 3.1415926535);
    if (a < 0)
        a += 255.0f;
    // Above the shaft the needles cannot point: the press goes to the nearer
    // end stop. The shaft's own row counts as above, since the arctangent is
    // 0 there on both sides and would send a point just right of the shaft
    // to the far left end.
    if (y <= kShaftY)
        a = x >= 53.0 ? 255.0f : 1.0f;
    if (a == 0.0f)
        a = 1.0f;
    return a;
}

Needle nearerNeedle(float a, int minVal, int maxVal)
{
    return std::fabs(maxVal - a) < std::fabs(minVal - a) ? Needle::Max : Needle::Min;
}

int dragValue(Needle needle, float a)
{
    double v = a;
    if (needle == Needle::Min)
        v = std::max(v, 1.0);
    else
        v = std::min(v, 254.0);
    return std::clamp(static_cast<int>(roundHalfEven(v)), kLowest, kHighest);
}

} // namespace mk::needles
