#pragma once
// The whole CD playback export after the file has been chosen: format check,
// direct copy, resampling or conversion, then the servo stream. The menu command and the
// command line both run this, so they write the same bytes; each shows the
// outcome's message its own way.
#include <QString>
#include <optional>

#include "export/CdAudio.h"
#include "export/CdEncoder.h"
#include "sound/WavReader.h"

namespace mk::cd {

using Message = wav::Message;

Message noSoundMessage();
Message conversionErrorMessage();
/// The sound cannot be read at all: what is wrong and what to do.
Message unreadableSoundMessage(const QString& soundPath, const QString& reason);
Message cancelMessage(const QString& cdPath);
/// The file chosen for the export is the sound itself.
Message sameFileMessage(const QString& cdPath);
/// A run-time error while exporting (copy, encoding, files).
Message exportErrorMessage(int number, const QString& description);
Message formatCheckErrorMessage(int number, const QString& description);
Message resampleErrorMessage(int number, const QString& description);

struct ExportResult {
    enum class Status {
        Complete,  ///< the file is finished; nothing to say
        Cancelled, ///< the user stopped it; the partial file stays
        Refused,   ///< the sound cannot be exported; maybe a partial file
        Failed,    ///< a run-time error; maybe a partial file
    };
    Status status = Status::Failed;
    std::optional<Message> message; ///< what to tell the user (none when complete)
};

/// Exports the show (frames 0..lastFrame of `frames`) with the sound at
/// `soundPath` into `cdPath`. Never throws: every way out is a result.
ExportResult exportForCd(const QString& soundPath, const QString& cdPath, qint32 lastFrame,
                         const FrameSource& frames, Progress& progress);

} // namespace mk::cd
