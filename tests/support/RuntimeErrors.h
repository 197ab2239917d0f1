#pragma once
// The number of the run-time error an action reports, or 0 when it reports none.
#include <functional>

#include "platform/RuntimeError.h"

namespace mk::test {

inline int errorNumber(const std::function<void()>& action)
{
    try {
        action();
    } catch (const mk::RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace mk::test
