#pragma once
// `play`: a show without a screen. It plays the project's sound and sends
// every frame to the controller through the show engine, once, again and
// again, or whenever a trigger fires, with an idle project in between.
#include <QString>
#include <QStringList>
#include <optional>

#include "cli/ShowTriggers.h"

namespace mk::cli {

struct PlayOptions {
    QString show;
    QString port;        ///< a device path or COMn; empty: no controller
    QString sound;       ///< wins over the project's own sound
    QString audioDevice; ///< a sound output by name; empty: the default
    QString idle;        ///< played over and over between shows
    bool loop = false;
    double waitSeconds = 0;
    QString trigger;     ///< enter, signal, cts, dsr, dcd, ri or gpio:CHIP:LINE
    bool risingEdge = true;
    int debounceMs = 30;
    bool retrigger = false;
};

/// The options after "play"; nothing, with the problem named, for a wrong
/// command line.
std::optional<PlayOptions> parsePlayOptions(const QStringList& args, QString& problem);

/// Runs `play` (arguments after the program's name, "play" first). Returns
/// the exit status: 0 after a clean stop, 1 on a failure, 2 for a wrong
/// command line. Needs a QCoreApplication. A trigger line is read from
/// `lines`. SIGINT/SIGTERM/SIGHUP/SIGUSR1 are blocked in the calling thread
/// and read by it alone.
int runPlayCommand(const QStringList& args, const LineSources& lines = systemLines());

QString playCommandHelp();

/// `devices`: the sound outputs, serial ports and joysticks this machine
/// offers, on standard output. Returns 0.
int runDevicesCommand();

} // namespace mk::cli
