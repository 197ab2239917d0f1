#pragma once
// The devices and services the main window works with. The program passes
// the real ones; tests and benchmarks pass drivable ones.
#include <QStringList>

#include "platform/Dialogs.h"
#include "platform/Joystick.h"
#include "platform/SoundService.h"
#include "platform/TickSource.h"

namespace mk {

struct Services {
    TickSource& ticks;
    Joystick& joystick;
    Dialogs& dialogs;
    SoundService& sound;
    /// Device paths behind COM 1 to COM 4; empty: the system's default list.
    QStringList portPaths = {};
};

} // namespace mk
