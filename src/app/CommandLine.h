#pragma once
// The program's command line. Without options it starts as it always has:
// splash screen, then the main window with no port and no sound.
#include <QString>
#include <QStringList>
#include <optional>

namespace mk {

struct CommandLine {
    bool splash = true;
    int port = 0;       ///< 1..4: select COM n at start-up; 0: none
    QString soundFile;  ///< import this WAV at start-up
    QString projectFile; ///< open this project at start-up
    QString screenshot; ///< save a picture of the main window there and quit
};

/// Parses the arguments (argv[0] first). On --help, --version or an error it
/// prints to `out`/`err` and returns nothing with the exit code in `exitCode`.
std::optional<CommandLine> parseCommandLine(const QStringList& arguments, QString& out, QString& err, int& exitCode);

} // namespace mk
