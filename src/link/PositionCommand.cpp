#include "link/PositionCommand.h"

#include "platform/Rounding.h"
#include "platform/RuntimeError.h"

#include <cmath>

namespace mk {

namespace {

std::uint8_t checkedByte(long long value)
{
    // A position or servo number that does not fit a byte cannot be sent.
    if (value < 0 || value > 255)
        throw RuntimeError::invalidCall();
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::uint8_t positionByte(const QString& serialPortString)
{
    const QString text = serialPortString.trimmed();
    bool ok = false;
    const long long whole = text.toLongLong(&ok, 10);
    if (ok)
        return checkedByte(whole);

    // Tracks hand over whole numbers; a fractional text is still a number,
    // and like every conversion here it rounds half to even.
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw RuntimeError::typeMismatch();
    const double rounded = roundHalfEven(value);
    if (rounded < 0.0 || rounded > 255.0)
        throw RuntimeError::invalidCall();
    return static_cast<std::uint8_t>(rounded);
}

void appendPositionCommand(QByteArray& message, int servo, int position)
{
    const char command[3] = {
        static_cast<char>(kCommandStart),
        static_cast<char>(checkedByte(servo)),
        static_cast<char>(checkedByte(position)),
    };
    message.append(command, 3);
}

} // namespace mk
