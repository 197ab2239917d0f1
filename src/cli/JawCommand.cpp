// marionettekit jaw: a jaw track from the project's sound, without a window.
#include <QFileInfo>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/CdCommands.h"
#include "project/ProjectFile.h"
#include "sound/JawAnalysis.h"
#include "sound/SoundConverter.h"
#include "sound/WavReader.h"

namespace mk {

namespace {

void say(const QString& text)
{
    QTextStream(stderr) << QString(text).replace(QChar(13), QChar(10)) << Qt::endl;
}

int wrongUse(const QString& problem)
{
    say(problem);
    say(QStringLiteral("Usage: ") + jawCommandHelp().section(QLatin1Char('\n'), 1, 1).trimmed());
    return 2;
}

} // namespace

QString jawCommandHelp()
{
    return QStringLiteral(
        "  jaw PROJECT.pjt --servo N (-o OUT.pjt | --in-place) [options]\n"
        "      Write a talking jaw for servo N (0 to 7, as the lanes number them) from the project's sound, as\n"
        "      Edit > Jaw from Sound does. Options: --low HZ --high HZ (voice band,\n"
        "      200 to 4000), --threshold DB --top DB (from the sound when left out),\n"
        "      --attack MS (30) --release MS (80) --lead MS (50, up to 300),\n"
        "      --closed min|max (min), --from FRAME --to FRAME (the whole sound),\n"
        "      --sound FILE (when the project's own path does not exist here).\n"
        "      The project is never written over without --in-place.");
}

int runJawCommand(const QStringList& args)
{
    QStringList positional;
    QString out, soundOverride;
    bool inPlace = false;
    int servo = -1;
    qint32 from = 0, to = -1;
    jaw::Band band;
    jaw::Shape shape;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--in-place")) {
            inPlace = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("-"))) {
            positional << a;
            continue;
        }
        if (i + 1 >= args.size())
            return wrongUse(QStringLiteral("%1 needs a value.").arg(a));
        const QString v = args[++i];
        bool ok = true;
        const double number = v.toDouble(&ok);
        auto needNumber = [&](double lo, double hi) {
            if (!ok || number < lo || number > hi) {
                say(QStringLiteral("%1 takes a number from %2 to %3, not \"%4\".").arg(a).arg(lo).arg(hi).arg(v));
                return false;
            }
            return true;
        };
        if (a == QLatin1String("-o")) {
            out = v;
        } else if (a == QLatin1String("--sound")) {
            soundOverride = v;
        } else if (a == QLatin1String("--closed")) {
            if (v != QLatin1String("min") && v != QLatin1String("max"))
                return wrongUse(QStringLiteral("--closed takes min or max, not \"%1\".").arg(v));
            shape.closedAtMax = v == QLatin1String("max");
        } else if (a == QLatin1String("--servo")) {
            if (!needNumber(0, 7) || number != std::floor(number))
                return wrongUse(QStringLiteral("--servo takes a servo number from 0 to 7."));
            servo = int(number);
        } else if (a == QLatin1String("--low")) {
            if (!needNumber(20, 20000))
                return 2;
            band.lowHz = number;
        } else if (a == QLatin1String("--high")) {
            if (!needNumber(100, 96000))
                return 2;
            band.highHz = number;
        } else if (a == QLatin1String("--threshold")) {
            if (!needNumber(-120, 0))
                return 2;
            shape.thresholdDb = number;
        } else if (a == QLatin1String("--top")) {
            if (!needNumber(-120, 0))
                return 2;
            shape.topDb = number;
        } else if (a == QLatin1String("--attack")) {
            if (!needNumber(0, 2000))
                return 2;
            shape.attackMs = number;
        } else if (a == QLatin1String("--release")) {
            if (!needNumber(0, 2000))
                return 2;
            shape.releaseMs = number;
        } else if (a == QLatin1String("--lead")) {
            if (!needNumber(0, jaw::kMaxLeadMs))
                return 2;
            shape.leadMs = number;
        } else if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            if (!needNumber(0, 1e9) || number != std::floor(number))
                return wrongUse(QStringLiteral("%1 takes a frame number.").arg(a));
            (a == QLatin1String("--from") ? from : to) = qint32(number);
        } else {
            return wrongUse(QStringLiteral("Unknown option: %1").arg(a));
        }
    }
    if (positional.size() != 1)
        return wrongUse(QStringLiteral("jaw takes one project."));
    if (servo < 0)
        return wrongUse(QStringLiteral("Name the jaw's servo with --servo N (0 to 7)."));
    if (band.lowHz >= band.highHz)
        return wrongUse(QStringLiteral("--low must be below --high."));
    const QString input = positional[0];
    if (inPlace && !out.isEmpty())
        return wrongUse(QStringLiteral("Give either -o OUT.pjt or --in-place, not both."));
    if (inPlace)
        out = input;
    if (out.isEmpty())
        return wrongUse(QStringLiteral("Name the project to write with -o OUT.pjt (or --in-place)."));
    if (!inPlace && QFileInfo(out).exists() && QFileInfo(out).canonicalFilePath() == QFileInfo(input).canonicalFilePath())
        return wrongUse(QStringLiteral("-o names the project itself: add --in-place to write over it."));

    project::ReadResult read = project::readFile(input);
    if (read.status == project::ReadResult::Status::NotAProject) {
        say(QStringLiteral("%1 is not a MarionetteKit project.").arg(input));
        return 1;
    }
    if (read.status != project::ReadResult::Status::Ok) {
        say(QStringLiteral("Open Error: ")
            + failureText(QStringLiteral("There was an error while opening the project."), read.error.number,
                          read.error.description));
        return 1;
    }
    project::Project& p = read.project;
    if (servo > p.lastServoIndex) {
        say(QStringLiteral("The project has servos 0 to %1 only.").arg(p.lastServoIndex));
        return 1;
    }
    if (!p.soundLoaded()) {
        say(QStringLiteral("The project has no sound: import one first."));
        return 1;
    }
    QString sound = project::soundPathFor(p.soundName, input);
    if (!QFileInfo(sound).isFile()) {
        if (soundOverride.isEmpty()) {
            say(QStringLiteral("Cannot find the project's sound %1. Name it with --sound FILE.").arg(sound));
            return 1;
        }
        sound = soundOverride;
    }
    const sound::SourceInfo info = sound::probe(sound);
    if (!info.readable) {
        say(sound::unreadableMessage(sound, info.problem));
        return 1;
    }
    // Frames the sound covers: only there is a jaw written.
    const qint32 soundFrames = qint32(std::ceil(double(info.frames) * jaw::kFramesPerSecond / info.rate));
    const qint32 last = std::min({p.frameCount, soundFrames - 1, to < 0 ? p.frameCount : to});
    if (from > last) {
        say(QStringLiteral("No frame of the sound lies between --from and --to."));
        return 1;
    }
    int tenth = -1;
    const jaw::Levels levels = jaw::analyse(sound, last + 1, band, [&tenth](double fraction) {
        if (int(fraction * 10) != tenth) {
            tenth = int(fraction * 10);
            std::fprintf(stderr, "Analysing the sound: %d%%\n", tenth * 10);
        }
        return true;
    });
    if (!levels.error.isEmpty()) {
        say(sound::unreadableMessage(sound, levels.error));
        return 1;
    }
    const project::ServoRecord& r = p.servos[size_t(servo)];
    const std::vector<qint16> jawPositions = jaw::positions(levels.db, shape, r.minValue, r.maxValue);
    std::vector<qint16>& track = p.positions[size_t(servo)];
    for (qint32 f = from; f <= last; ++f)
        track[size_t(f)] = jawPositions[size_t(f)];
    const project::WriteResult w = project::saveFile(out, p);
    if (!w.ok) {
        say(failureText(QStringLiteral("There was an error while saving %1.").arg(out), w.error.number,
                        w.error.description));
        return 1;
    }
    say(QStringLiteral("Wrote %1: servo %2, frames %3 to %4.").arg(out).arg(servo).arg(from).arg(last));
    return 0;
}

} // namespace mk
