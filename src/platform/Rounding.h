#pragma once
// Whole-number conversions as the program has always done them: to the
// nearest integer, halves to the even neighbour (127.5 -> 128, 128.5 -> 128),
// and a value that does not fit the target type is an overflow error rather
// than undefined behaviour.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/RuntimeError.h"

namespace mk {

/// Nearest integer, ties to even, as a double (no range check).
inline double roundHalfEven(double v)
{
    // nearbyint honours the current rounding mode, which is round-to-nearest-
    // even unless someone changed it; rint/nearbyint never round ties away.
    return std::nearbyint(v);
}

/// Nearest integer, ties to even, checked to fit T. Throws error 6 (Overflow).
template <typename T>
T roundTo(double v)
{
    const double r = roundHalfEven(v);
    if (!(r >= static_cast<double>(std::numeric_limits<T>::min())
          && r <= static_cast<double>(std::numeric_limits<T>::max())))
        throw RuntimeError::overflow();
    return static_cast<T>(r);
}

/// Narrowing of a whole number, checked. Throws error 6 (Overflow).
template <typename T, typename U>
T checkedNarrow(U v)
{
    if (v < static_cast<U>(std::numeric_limits<T>::min()) || v > static_cast<U>(std::numeric_limits<T>::max()))
        throw RuntimeError::overflow();
    return static_cast<T>(v);
}

} // namespace mk
