#pragma once
// The controller's only command: 255, servo number, position. A frame message
// is the commands of servos 0 to 7 in one 24-byte block.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace mk {

constexpr std::uint8_t kCommandStart = 255;

/// The position byte of a track's serialPortString. Throws mk::RuntimeError:
/// 13 (Type mismatch) when the text is not a number, 5 when it is outside 0..255.
std::uint8_t positionByte(const QString& serialPortString);

/// Appends 255, servo, position to `message`. Throws 5 for values outside 0..255.
void appendPositionCommand(QByteArray& message, int servo, int position);

} // namespace mk
