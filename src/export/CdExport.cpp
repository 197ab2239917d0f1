#include "export/CdExport.h"

#include <QFileInfo>

#include <exception>
#include <new>

#include "platform/Dialogs.h"
#include "platform/RuntimeError.h"
#include "sound/SoundConverter.h"

namespace mk::cd {

namespace {

const QChar CR(13);

struct Failure {
    int number = RuntimeError::internalError().number();
    QString description = QString::fromStdString(RuntimeError::internalError().description());
};

Failure failureOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const RuntimeError& e) {
        return {e.number(), QString::fromStdString(e.description())};
    } catch (const std::bad_alloc&) {
        return {7, QStringLiteral("Out of memory")};
    } catch (const std::exception& e) {
        return {51, QString::fromLocal8Bit(e.what())};
    } catch (...) {
    }
    return {};
}

using Status = ExportResult::Status;

ExportResult outcome(Status status, Message message)
{
    return {status, std::move(message)};
}

} // namespace

Message noSoundMessage()
{
    return {QStringLiteral("MarionetteKit does not support the creation of a CD playback") + CR
                + QStringLiteral("file if you are not using a sound."),
            QStringLiteral("No sound"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message conversionErrorMessage()
{
    return {QStringLiteral("There was an error while trying to convert your audio file.") + CR
                + QStringLiteral("You may be able to fix this by opening it in another program and then saving it again."),
            QStringLiteral("Conversion Error"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message unreadableSoundMessage(const QString& soundPath, const QString& reason)
{
    return {sound::unreadableMessage(soundPath, reason), QStringLiteral("Sound Problem"), MessageButtons::Ok,
            MessageIcon::Exclamation};
}

Message cancelMessage(const QString& cdPath)
{
    return {QStringLiteral("Conversion for CD playback was canceled.  The file:") + CR + cdPath + CR
                + QStringLiteral("has incomplete data and will not work correctly.  Do not use it."),
            QStringLiteral("Conversion canceled"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message sameFileMessage(const QString& cdPath)
{
    return {QStringLiteral("The CD playback file cannot be written over the project's sound:") + CR + cdPath + CR
                + QStringLiteral("Please choose another name."),
            QStringLiteral("Export Error"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message exportErrorMessage(int number, const QString& description)
{
    return {failureText(QStringLiteral("There was an error while exporting."), number, description),
            QStringLiteral("Export Error"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message formatCheckErrorMessage(int number, const QString& description)
{
    return {failureText(QStringLiteral("There was an error while checking the sound format."), number, description),
            QStringLiteral("Error"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message resampleErrorMessage(int number, const QString& description)
{
    return {failureText(QStringLiteral("There was an error while resampling the sound."), number, description),
            QStringLiteral("Error"), MessageButtons::Ok, MessageIcon::Exclamation};
}

ExportResult exportForCd(const QString& soundPath, const QString& cdPath, qint32 lastFrame,
                         const FrameSource& frames, Progress& progress)
{
    progress.stage(QStringLiteral("Resampling Audio File"));
    // Writing the CD file over the sound would destroy the sound before it
    // has been read.
    const QFileInfo soundInfo(soundPath), cdInfo(cdPath);
    if (cdInfo.exists() && soundInfo.exists() && cdInfo.canonicalFilePath() == soundInfo.canonicalFilePath())
        return outcome(Status::Refused, sameFileMessage(cdPath));
    FormatCheck format;
    try {
        format = checkSoundFormat(soundPath);
    } catch (...) {
        // Nothing is known about the sound: copying or encoding now would
        // write a file no player can use.
        const Failure f = failureOf(std::current_exception());
        return outcome(Status::Failed, formatCheckErrorMessage(f.number, f.description));
    }
    // What the copy and the linear resampler cannot take (faster rates, 24
    // bits, float, compressed data, other file types) goes through the
    // converter instead.
    const bool plain = format.pcm && format.verdict != Verdict::High && (format.channels == 1 || format.channels == 2)
                       && (format.bitsPerSample == 8 || format.bitsPerSample == 16)
                       && resampleStep(format.sampleRate) > 0;
    if (!plain) {
        const sound::SourceInfo source = sound::probe(soundPath);
        if (!source.readable)
            return outcome(Status::Refused, unreadableSoundMessage(soundPath, source.problem));
    }

    try {
        if (!plain || format.verdict == Verdict::Bad) {
            // The linear resampler for plain PCM at an odd rate, the
            // converter for everything else; both write the whole CD file.
            AudioResult r;
            try {
                r = plain ? resample(soundPath, cdPath, progress) : convertSound(soundPath, cdPath, progress);
            } catch (...) {
                const Failure f = failureOf(std::current_exception());
                return outcome(Status::Failed, resampleErrorMessage(f.number, f.description));
            }
            if (r == AudioResult::Cancelled)
                return outcome(Status::Cancelled, cancelMessage(cdPath));
            if (r == AudioResult::Unsupported)
                return outcome(Status::Refused, plain ? conversionErrorMessage()
                                                      : unreadableSoundMessage(soundPath, sound::probe(soundPath).problem));
        } else if (copySound(soundPath, cdPath, progress) == AudioResult::NoDataTag) {
            return outcome(Status::Refused, conversionErrorMessage());
        }
        if (encodeServoData(cdPath, lastFrame, frames, progress) == EncodeResult::Cancelled)
            return outcome(Status::Cancelled, cancelMessage(cdPath));
    } catch (...) {
        const Failure f = failureOf(std::current_exception());
        return outcome(Status::Failed, exportErrorMessage(f.number, f.description));
    }
    return {Status::Complete, std::nullopt};
}

} // namespace mk::cd
