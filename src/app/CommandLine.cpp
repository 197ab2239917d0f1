#include "app/CommandLine.h"

#include "cli/CdCommands.h"
#include "cli/PlayCommand.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <thread>

#include "engine/RealtimePriority.h"

namespace mk {

std::optional<CommandLine> parseCommandLine(const QStringList& arguments, QString& out, QString& err, int& exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "MarionetteKit animates the servos of an animatronic figure in step with a sound track.\n"
        "Serial ports: COM 1 to COM 4 are the first four serial devices of the system,\n"
        "or the comma-separated device paths in MARIONETTEKIT_PORTS."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Select serial port COM <n> (1 to 4) at start-up."), QStringLiteral("n"));
    const QCommandLineOption noSplash(QStringLiteral("no-splash"),
                                      QStringLiteral("Open the main window at once, without the splash screen."));
    const QCommandLineOption sound(QStringLiteral("sound"), QStringLiteral("Import the sound <file> (WAV, FLAC, Ogg, MP3, AIFF) at start-up."),
                                   QStringLiteral("file"));
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Open the project <file> (.pjt) at start-up."), QStringLiteral("file"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the main window to <png> and quit."),
                                        QStringLiteral("png"));
    parser.addOptions({help, version, port, noSplash, open, sound, screenshot});

    exitCode = 0;
    if (!parser.parse(arguments)) {
        err = parser.errorText() + QStringLiteral("\n");
        exitCode = 2;
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        // Without an application object the parser cannot name the program.
        out = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                        QFileInfo(arguments.value(0, QStringLiteral("marionettekit"))).fileName())
              + QStringLiteral("\n") + cdCommandsHelp() + QStringLiteral("\n") + cli::playCommandHelp() + QStringLiteral("\n");
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        // Whether the show engine would get real-time priority here: asked
        // on a thread of its own, as the engine asks.
        engine::Priority granted;
        std::thread([&granted] { granted = engine::raiseCallingThread(); }).join();
        out = QStringLiteral("MarionetteKit " MK_VERSION "\nshow engine: %1\n")
                  .arg(QString::fromStdString(granted.describe()));
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err = QStringLiteral("Unexpected argument: %1\n").arg(parser.positionalArguments().first());
        exitCode = 2;
        return std::nullopt;
    }
    CommandLine result;
    result.splash = !parser.isSet(noSplash);
    if (parser.isSet(port)) {
        bool ok = false;
        const int n = parser.value(port).toInt(&ok);
        if (!ok || n < 1 || n > 4) {
            err = QStringLiteral("--port takes a port number from 1 to 4, not \"%1\".\n").arg(parser.value(port));
            exitCode = 2;
            return std::nullopt;
        }
        result.port = n;
    }
    // A project stores its sound's path and Save writes to the path it was
    // opened from; a path relative to the folder the program started in
    // would mean something else wherever the project is opened next.
    if (parser.isSet(sound))
        result.soundFile = QFileInfo(parser.value(sound)).absoluteFilePath();
    if (parser.isSet(open))
        result.projectFile = QFileInfo(parser.value(open)).absoluteFilePath();
    if (parser.isSet(screenshot)) {
        result.screenshot = parser.value(screenshot);
        result.splash = false;
    }
    return result;
}

} // namespace mk
