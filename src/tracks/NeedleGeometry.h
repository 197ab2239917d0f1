#pragma once
// The arithmetic of the set-up dialog's servo picture, without widgets: where
// a needle for a position is drawn, which position a mouse point stands for,
// and what a drag there sets. All coordinates are the picture's own pixels
// (105 x 181, the output shaft at 53.5, 133), whatever the screen's scale.
#include <QLineF>
#include <QPointF>

namespace mk::needles {

constexpr double kShaftX = 53.5;
constexpr double kShaftY = 133.0;
constexpr double kNeedleLength = 43.0;
constexpr int kPictureWidth = 105;
constexpr int kPictureHeight = 181;

/// The lowest and highest value the dialog's scroll bars take.
constexpr int kLowest = 1;
constexpr int kHighest = 255;

enum class Needle { Min, Max };

/// The line from the shaft to the tip of the needle for position v: 0 points
/// left, about 127 straight down, 255 right.
QLineF needleLine(double v);

/// The position a mouse point stands for, in single precision as it has
/// always been worked out. Points above the shaft (and on its row) give 255
/// to the right of it and 1 to the left; a point straight below it gives
/// about 127.5. Never 0.
float positionAt(double x, double y);

/// The needle a press at position a takes hold of: the one nearer to a, the
/// minimum on a tie.
Needle nearerNeedle(float a, int minVal, int maxVal);

/// The scroll bar value a drag of `needle` to position a sets: the minimum
/// needle never goes below 1, the maximum needle never above 254; halves
/// round to the even neighbour. The result is always a scroll bar value.
int dragValue(Needle needle, float a);

} // namespace mk::needles
