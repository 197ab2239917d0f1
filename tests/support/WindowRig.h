#pragma once
// A main window on services a test drives: a clock moved by hand, a joystick
// that stays put, dialogs answered from a script and a sound that records
// what it was asked, with a temporary folder for the files it writes.
#include <QAction>
#include <QStandardPaths>
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

    static constexpr bool KeepMessages = true;
    /// Makes the window on these serial ports (by default none that opens)
    /// and, unless told to keep them, forgets the start-up probe's messages.
    void open(const QStringList& ports = {"", "", "", ""}, bool keepMessages = false)
    {
        // What the window keeps for the next start stays out of the user's own settings.
        QStandardPaths::setTestModeEnabled(true);
        w = std::make_unique<mainForm>(mk::Services{ticks, joystick, dialogs, sound, ports});
        if (!keepMessages)
            dialogs.messages.clear();
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void trigger(const char* item) { w->menuItem(item)->trigger(); }
};

} // namespace mk::test
