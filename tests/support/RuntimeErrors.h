#pragma once
// The run-time error an action reports: its number and description, or 0 and nothing when it reports none.
#include <QString>

#include <functional>
#include <utility>

#include "platform/RuntimeError.h"

namespace mk::test {

inline std::pair<int, QString> errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const mk::RuntimeError& e) {
        return {e.number(), QString::fromStdString(e.description())};
    }
    return {0, QString()};
}

inline int errorNumber(const std::function<void()>& action) { return errorOf(action).first; }

} // namespace mk::test
