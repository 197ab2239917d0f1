#include <QApplication>
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>

#include "cli/CdCommands.h"
#include "app/CommandLine.h"
#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "engine/ShowEngine.h"
#include "cli/PlayCommand.h"
#include "link/SerialPorts.h"
#include "platform/Joystick.h"
#include "platform/QtDialogs.h"
#include "platform/SdlSound.h"
#include "platform/TickSource.h"

int main(int argc, char** argv)
{
    // Read before any window system is touched, so that --help and --version
    // answer on a machine without a display too.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // export-cd and verify-cd need no window system at all.
    if (mk::isCdCommand(arguments)) {
        QCoreApplication app(argc, argv);
        return mk::runCdCommand(arguments);
    }
    if (arguments.size() > 1 && arguments[1] == QLatin1String("play")) {
        QCoreApplication app(argc, argv);
        return mk::cli::runPlayCommand(arguments.mid(1));
    }
    if (arguments.size() == 2 && arguments[1] == QLatin1String("devices")) {
        QCoreApplication app(argc, argv);
        return mk::cli::runDevicesCommand();
    }
    QString out, err;
    int exitCode = 0;
    const auto options = mk::parseCommandLine(arguments, out, err, exitCode);
    if (!options) {
        QTextStream(stdout) << out;
        QTextStream(stderr) << err;
        return exitCode;
    }

    // Native (GTK) file dialogs cannot be driven by the tests and look out of
    // place next to the rest of the program.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MarionetteKit"));
    QApplication::setApplicationVersion(QStringLiteral(MK_VERSION));
    // Lets a Wayland desktop find the window's entry and icon.
    QApplication::setDesktopFileName(QStringLiteral(MK_APP_ID));

    mk::SdlJoystick joystick;
    mk::QtDialogs dialogs;
    // A screenshot run must not stop at a message box: messages are answered
    // with their first button and printed instead.
    mk::ScriptedDialogs unattended;
    mk::SdlSound sound;
    const bool attended = options->screenshot.isEmpty();
    mk::Services services{mk::systemTicks(), joystick, attended ? static_cast<mk::Dialogs&>(dialogs) : unattended,
                          sound};

    auto loadMain = [&]() -> QWidget* {
        auto* main = new mainForm(services);
        main->setAttribute(Qt::WA_DeleteOnClose);
        std::fprintf(stderr, "show engine: %s\n", main->showEngine().priority().describe().c_str());
        dialogs.setParent(main);
        if (options->port > 0) {
            if (main->ports().itemEnabled(options->port))
                main->ports().selectPort(options->port);
            else
                std::fprintf(stderr, "COM %d could not be opened at start-up.\n", options->port);
        }
        // The project first: a sound named on the command line replaces its own.
        if (!options->projectFile.isEmpty()
            && main->openStartUpProject(options->projectFile) == mk::project::ReadResult::Status::NotAProject)
            std::fprintf(stderr, "%s is not a MarionetteKit project; nothing was opened.\n",
                         qPrintable(options->projectFile));
        if (!options->soundFile.isEmpty())
            main->importSoundFile(options->soundFile);
        return main;
    };
    if (!options->screenshot.isEmpty()) {
        QWidget* main = loadMain();
        main->resize(main->sizeHint().expandedTo(QSize(1000, 640)));
        main->show();
        QCoreApplication::processEvents();
        const bool saved = main->grab().save(options->screenshot);
        for (const auto& m : unattended.messages)
            std::fprintf(stderr, "%s: %s\n", qPrintable(m.title), qPrintable(QString(m.text).replace(QChar(13), QChar(10))));
        main->close();
        if (!saved)
            std::fprintf(stderr, "Could not save %s\n", qPrintable(options->screenshot));
        return saved ? 0 : 1;
    }
    if (options->splash) {
        auto* splash = new splashScreen(loadMain);
        splash->show();
    } else {
        loadMain()->show();
    }
    return app.exec();
}
