#pragma once
// Frame arithmetic of the time base: 30 frames a second, one frame being
// 100/3 ms in double precision, and the HH:MM:SS:FF text of a frame count.
#include <QString>
#include <QtGlobal>

#include <optional>

namespace mk {

/// One frame in milliseconds. Always this double, never 33 or 33.33.
inline constexpr double kFrameMs = 100.0 / 3.0;

/// HH:MM:SS:FF of a frame count. Fields below 10 get one leading "0"; hours
/// of 100 or more simply have more digits. A negative count (a clock started
/// before frame 0, a countdown past its end) shows as 00:00:00:00.
QString timeCodeText(qint64 frames);

/// The frame reached after ms milliseconds, rounded half to even, without a
/// range check (the result may not fit 32 bits). Cheap enough for every tick.
double roundedFrames(double ms);

/// The frame of ms milliseconds as a 32-bit frame number.
/// Throws RuntimeError 6 (Overflow) when it does not fit.
qint32 framesFromMs(double ms);

/// Milliseconds from frame 0 to the given frame, rounded half to even.
qint64 msFromFrames(qint32 frames);

/// The first whole millisecond after `elapsed` at which roundedFrames() gives
/// another frame than at `elapsed`: where a clock that polled every
/// millisecond would first see the frame move on.
qint64 nextFrameBoundary(qint64 elapsed);

/// The frame count of "HH:MM:SS:FF" (hours may have more than two digits),
/// or nothing when the text is not four fields of digits separated by colons
/// or its frame count does not fit a 32-bit frame number.
std::optional<qint32> parseTimeCode(const QString& text);

} // namespace mk
