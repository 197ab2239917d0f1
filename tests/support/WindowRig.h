#pragma once
// A main window on services a test drives: a clock moved by hand, a joystick
// that stays put, dialogs answered from a script and a sound that records
// what it was asked, with a temporary folder for the files it writes.
#include <QAction>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "app/mainForm.h"
#include "sound/RecordingSound.h"

namespace mk::test {

struct WindowRig {
    mk::ManualTickSource ticks;
    mk::FixedJoystick joystick;
    mk::ScriptedDialogs dialogs;
    RecordingSound sound;
    QTemporaryDir dir;
    std::unique_ptr<mainForm> w;

    /// Makes the window on these serial ports (by default none that opens)
    /// and forgets the start-up probe's "no free port" message.
    void open(const QStringList& ports = {"", "", "", ""})
    {
        w = std::make_unique<mainForm>(mk::Services{ticks, joystick, dialogs, sound, ports});
        dialogs.messages.clear();
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void trigger(const char* item) { w->menuItem(item)->trigger(); }
};

} // namespace mk::test
