#pragma once
// The waveform view's colours and cursor width. The motion lanes draw with
// the same ones, so that they read as part of the view and their cursor
// covers exactly the waveform cursor's columns.
#include <QColor>

namespace mk::waveform {

inline const QColor background(12, 20, 28);
inline const QColor foreground(90, 220, 130);
inline const QColor cursor(255, 240, 140);
inline constexpr int cursorWidth = 2;

} // namespace mk::waveform
