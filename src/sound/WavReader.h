#pragma once
// Reads the few header fields of a WAV file that the waveform view needs:
// where the samples lie, how many bytes they take and how to describe them.
// Only the header is read; the samples stay in the file.
#include <QString>

#include "platform/Dialogs.h"

namespace mk::wav {

/// Positions are 1-based byte positions in the file, as everywhere in the view.
constexpr qint32 firstSearchPosition = 37; ///< just after a canonical 16-byte "fmt " chunk
constexpr qint32 lastSearchPosition = 10000;

enum class Problem {
    None,
    CannotOpen, ///< the file exists but cannot be read
    NotRiff,    ///< the first four bytes are not "RIFF"
    NoDataTag,  ///< no "data" tag begins at positions 37 to 10 000
    NoSamples,  ///< the "data" chunk is empty, or the file ends before it
};

struct Header {
    qint16 channels = 0;
    qint32 sampleRate = 0;
    qint16 bitsPerSample = 0;
    qint32 soundStart = 0;  ///< first sample byte: 8 after the "data" tag
    qint32 soundLength = 0; ///< byte count of the "data" chunk
    qint32 soundEnd = 0;    ///< soundLength - soundStart (a difference, as the view has always used it)
    float lengthInSeconds = 0;
    qint32 zoomCentre = 0;
    QString caption; ///< "16bit  stereo   44.1kHz   3.5seconds"
    qint64 fileSize = 0;
};

struct ReadResult {
    Problem problem = Problem::None;
    Header header; ///< meaningful only without a problem
};

/// Reads and measures the WAV file at `path`. Never reads past the end of the
/// file: missing header bytes read as zero.
ReadResult readHeader(const QString& path);

/// Measurements from the raw header fields (the part of readHeader that does
/// not touch the file). `dataTagPosition` is the 1-based position of "data".
Header measure(qint16 channels, qint32 sampleRate, qint16 bitsPerSample, qint32 dataTagPosition,
               quint32 dataByteCount, qint64 fileSize);

/// 1-based position of the first "data" in `head` (the file's first bytes)
/// between positions 37 and 10 000, or 0 when there is none.
qint32 findDataTag(const QByteArray& head);

/// Data bytes / rate / channels, halved for 16-bit sound; any other depth
/// counts one byte per sample. 0 when rate or channel count is 0.
float lengthInSeconds(qint32 soundLength, qint32 sampleRate, qint16 channels, qint16 bitsPerSample);

QString channelWord(qint16 channels);
QString formatCaption(qint16 bitsPerSample, qint16 channels, qint32 sampleRate, float seconds);

/// Shortest decimal text that reads back as the same value, never with an
/// exponent: 44.1, 3.5, 0.33333334 (float), 8.
QString shortestText(double v);
QString shortestText(float v);

/// The name after the last folder separator, "/" or a backslash.
QString bareName(const QString& path);

/// The messages the loader shows; texts and titles as users have always seen them.
struct Message {
    QString text;
    QString title;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};
Message notRiffMessage();
Message soundProblemMessage(); ///< Reason: Didn't find "data"
Message noSamplesMessage();    ///< the same, for a sound without samples
/// For a path that names a device or a pipe rather than a file.
Message notAFileMessage(const QString& path);
Message noSoundCardMessage();
Message deviceTroubleMessage(const QString& errorDescription);
Message locateMessage(const QString& bareName);
FileDialogRequest locateDialog(const QString& bareName);

} // namespace mk::wav
