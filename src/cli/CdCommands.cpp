#include "cli/CdCommands.h"

#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <span>
#include <unistd.h>

#include "export/CdDecoder.h"
#include "export/CdExport.h"
#include "platform/SdlSound.h"
#include "project/OpenedShow.h"
#include "project/ProjectFile.h"
#include "sound/SoundConverter.h"
#include "sound/WavReader.h"

namespace mk {

namespace {

const QString kExport = QStringLiteral("export-cd");
const QString kVerify = QStringLiteral("verify-cd");
const QString kJaw = QStringLiteral("jaw");

void printErr(const QString& text)
{
    // Messages keep their line breaks as carriage returns; a terminal wants newlines.
    QTextStream(stderr) << QString(text).replace(QChar(13), QChar(10)) << Qt::endl;
}

void printMessage(const cd::Message& m)
{
    printErr(m.title + QStringLiteral(": ") + m.text);
}

/// A project as a freshly started program holds it after Open Project.
struct Show {
    std::unique_ptr<project::OpenedShow> opened;
    QString soundName;
};

std::optional<Show> openShow(const QString& path)
{
    const project::ReadResult read = project::readFile(path);
    if (read.status == project::ReadResult::Status::NotAProject) {
        printErr(QStringLiteral("%1 is not a MarionetteKit project.").arg(path));
        return std::nullopt;
    }
    if (read.status != project::ReadResult::Status::Ok) {
        printErr(QStringLiteral("Open Error: ")
                 + failureText(QStringLiteral("There was an error while opening the project."), read.error.number,
                               read.error.description));
        return std::nullopt;
    }
    try {
        return Show{std::make_unique<project::OpenedShow>(read.project), read.project.soundFileName()};
    } catch (const RuntimeError& e) {
        printErr(QStringLiteral("Open Error: ")
                 + failureText(QStringLiteral("There was an error while opening the project."), e.number(),
                               QString::fromStdString(e.description())));
        return std::nullopt;
    }
}

/// Progress on standard error: a bar redrawn in place on a terminal, a line
/// per stage and per tenth otherwise. Ctrl+C cancels like the dialog's button.
class ConsoleProgress : public cd::Progress {
public:
    ConsoleProgress() : m_terminal(isatty(STDERR_FILENO) != 0) {}
    ~ConsoleProgress() override { endLine(); }

    void stage(const QString& text) override
    {
        endLine();
        m_stage = text;
        m_tenth = -1;
        if (!m_terminal)
            printErr(text);
    }
    void percent(double value) override
    {
        if (m_terminal) {
            const int filled = std::clamp(int(value / 100 * 30), 0, 30);
            std::fprintf(stderr, "\r%-40s [%s%s] %8s", qPrintable(m_stage), QByteArray(filled, '#').constData(),
                         QByteArray(30 - filled, ' ').constData(), qPrintable(cd::percentText(value)));
            std::fflush(stderr);
            m_open = true;
        } else if (int(value / 10) != m_tenth) {
            m_tenth = int(value / 10);
            printErr(QStringLiteral("  ") + cd::percentText(value));
        }
    }
    bool cancelled() override { return s_interrupted != 0; }
    void endLine()
    {
        if (m_open)
            std::fputc('\n', stderr);
        m_open = false;
    }

    static void onInterrupt(int) { s_interrupted = 1; }
    static inline volatile std::sig_atomic_t s_interrupted = 0;

private:
    bool m_terminal;
    bool m_open = false;
    QString m_stage;
    int m_tenth = -1;
};

/// `--sound` when given, otherwise the sound the project names; the sound
/// must load as the waveform view would load it.
std::optional<QString> soundFor(const Show& show, const QString& projectPath, const QString& override)
{
    // A sound the user names wins over the project's own. Otherwise, as Open
    // Project: a project from another machine finds its sound beside it.
    if (override.isEmpty() && show.soundName == QLatin1String("noSound")) {
        printMessage(cd::noSoundMessage());
        return std::nullopt;
    }
    const QString sound = override.isEmpty() ? project::soundPathFor(show.soundName, projectPath) : override;
    if (override.isEmpty() && !QFileInfo(sound).isFile()) {
        printMessage(wav::locateMessage(wav::bareName(sound)));
        printErr(QStringLiteral("Name the sound with --sound WAV."));
        return std::nullopt;
    }
    // A sound the view would convert on loading is converted on the way
    // into the CD file instead.
    if (!sound::takenAsIs(sound)) {
        const sound::SourceInfo source = sound::probe(sound);
        if (source.readable && source.frames > 0)
            return sound;
        if (!source.readable && wav::readHeader(sound).problem != wav::Problem::NoSamples) {
            printMessage(cd::unreadableSoundMessage(sound, source.problem));
            return std::nullopt;
        }
    }
    const wav::ReadResult header = wav::readHeader(sound);
    switch (header.problem) {
    case wav::Problem::None: {
        // The view also refuses what the sound service cannot play (odd
        // rates, undecodable data) or what holds no frame of sound.
        qint32 ms = 0;
        try {
            if (SdlSound::fileLength(sound, ms) != SoundService::NoError)
                printMessage(wav::deviceTroubleMessage(QString()));
            else if (ms <= 0)
                printMessage(wav::noSamplesMessage());
            else
                return sound;
        } catch (const RuntimeError& e) {
            printErr(QStringLiteral("%1 %2").arg(e.number()).arg(QString::fromStdString(e.description())));
        }
        break;
    }
    case wav::Problem::NotRiff: printMessage(wav::notRiffMessage()); break;
    case wav::Problem::NoDataTag: printMessage(wav::soundProblemMessage()); break;
    case wav::Problem::NoSamples: printMessage(wav::noSamplesMessage()); break;
    case wav::Problem::CannotOpen:
        printErr(QStringLiteral("Cannot read the sound %1.").arg(sound));
        return std::nullopt;
    }
    // The view drops a sound it cannot load, and then there is no sound.
    printMessage(cd::noSoundMessage());
    return std::nullopt;
}

int usage(const QString& problem)
{
    printErr(problem);
    printErr(cdCommandsHelp());
    return 2;
}

int exportCd(const QStringList& args)
{
    QStringList positional;
    QString soundOverride;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sound")) {
            if (i + 1 >= args.size())
                return usage(QStringLiteral("--sound needs a WAV file."));
            soundOverride = args[++i];
        } else if (args[i].startsWith(QLatin1String("--sound="))) {
            soundOverride = args[i].mid(8);
        } else if (args[i].startsWith(QLatin1String("-")) && args[i] != QLatin1String("-")) {
            return usage(QStringLiteral("Unknown option: %1").arg(args[i]));
        } else {
            positional << args[i];
        }
    }
    if (positional.size() != 2)
        return usage(QStringLiteral("export-cd takes a project and the file to write."));
    const auto show = openShow(positional[0]);
    if (!show)
        return 1;
    const auto sound = soundFor(*show, positional[0], soundOverride);
    if (!sound)
        return 1;
    QString cdPath = positional[1];
    if (QFileInfo(cdPath).suffix().isEmpty())
        cdPath += QStringLiteral(".wav"); // as the save dialog's default extension

    ConsoleProgress progress;
    std::signal(SIGINT, &ConsoleProgress::onInterrupt);
    const auto tracks = show->opened->tracks();
    const qint32 lastFrame = show->opened->lastFrame();
    const auto result = cd::exportForCd(
        *sound, cdPath, lastFrame, [tracks](qint32 f) { return cd::frameMessage(tracks, f); }, progress);
    std::signal(SIGINT, SIG_DFL);
    progress.endLine();
    if (result.message)
        printMessage(*result.message);
    if (result.status != cd::ExportResult::Status::Complete)
        return 1;
    printErr(QStringLiteral("Wrote %1: frames 0 to %2.").arg(cdPath).arg(lastFrame));
    return 0;
}

int verifyCd(const QStringList& args)
{
    if (args.size() != 2)
        return usage(QStringLiteral("verify-cd takes the exported file and its project."));
    const auto show = openShow(args[1]);
    if (!show)
        return 1;
    try {
        const cd::DecodedStream stream = cd::decodeCdFile(args[0]);
        const auto tracks = show->opened->tracks();
        const cd::Verification v = cd::verifyFrames(stream, show->opened->lastFrame(),
                                                    [tracks](qint32 f) { return cd::frameMessage(tracks, f); });
        QTextStream(stdout) << v.report();
        return v.allMatch() ? 0 : 1;
    } catch (const RuntimeError& e) {
        printErr(failureText(QStringLiteral("There was an error while checking %1.").arg(args[0]), e.number(),
                             QString::fromStdString(e.description())));
        return 1;
    }
}

} // namespace

bool isCdCommand(const QStringList& arguments)
{
    return arguments.size() > 1 && (arguments[1] == kExport || arguments[1] == kVerify || arguments[1] == kJaw);
}

QString cdCommandsHelp()
{
    return QStringLiteral(
        "Commands (no display needed; messages and progress on standard error):\n"
        "  export-cd PROJECT.pjt OUT.wav [--sound WAV]\n"
        "      Export the project for CD playback, as File > Export Project for CD\n"
        "      Playback does. --sound names the sound to use instead of the project's\n"
        "      own. Exit status 0 only when OUT.wav is complete.\n"
        "  verify-cd OUT.wav PROJECT.pjt\n"
        "      Decode the servo stream in the right channel of an exported file and\n"
        "      compare every frame with the project. Exit status 0 only when all match.\n")
           + jawCommandHelp();
}

int runCdCommand(const QStringList& arguments)
{
    const QStringList rest = arguments.mid(2);
    if (rest.contains(QStringLiteral("--help")) || rest.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << cdCommandsHelp() << Qt::endl;
        return 0;
    }
    if (arguments[1] == kJaw)
        return runJawCommand(rest);
    return arguments[1] == kExport ? exportCd(rest) : verifyCd(rest);
}

} // namespace mk
