#pragma once
// The audio half of a CD playback file: 44 100 Hz, 16-bit stereo, a second of
// silence, then the sound. A sound already in that format is copied; any
// other 8- or 16-bit PCM sound at or below 44 100 Hz is resampled by linear
// interpolation, and any other sound libsndfile reads goes through the sound
// converter on its way in. Samples stream through the files; nothing holds
// the sound.
//
// Positions are 1-based byte positions, as in the WAV reader.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace mk::cd {

constexpr qint32 kRate = 44100;
constexpr qint32 kHeaderBytes = 44;
/// One second of stereo silence: 88 200 values of 0.
constexpr qint32 kLeaderValues = 88200;
constexpr qint32 kLeaderBytes = 2 * kLeaderValues;
/// The direct copy moves the sound in pieces of this size.
constexpr qint32 kCopyPiece = 20000;
/// The direct copy looks for "data" up to here; the resampler only up to 1000.
constexpr qint32 kCopySearchEnd = 10000;
constexpr qint32 kResampleSearchEnd = 1000;

/// What the export is told while it runs, and how it learns of a Cancel.
/// The window's progress dialog and the command line's bar implement it.
class Progress {
public:
    virtual ~Progress() = default;
    /// The stage line ("Encoding data into new file.").
    virtual void stage(const QString&) {}
    /// The percentage has moved; a window shows it and serves its events here.
    virtual void percent(double) {}
    /// The user asked to stop. Asked often: must be cheap.
    virtual bool cancelled() { return false; }
};

/// The percentage as the progress dialog shows it: "#.00" then "%", so
/// 12.345 gives "12.35%" (as printed), 0.5 gives ".50%" and 0 gives ".00%".
QString percentText(double percent);

enum class Verdict { Good, High, Bad };

struct FormatCheck {
    Verdict verdict = Verdict::Bad;
    /// The samples are plain PCM: format code 1, or an extensible format
    /// block whose sub-format is PCM. Compressed sounds cannot be converted.
    bool pcm = false;
    quint16 channels = 0;
    quint32 sampleRate = 0;
    quint16 bitsPerSample = 0;
};

/// Reads channels (position 23), rate (25) and bits (35). "Good": 44 100 Hz,
/// 16 bits, 2 channels; "high": a faster rate; "bad": anything else. The
/// format code takes no part in the verdict. Throws mk::RuntimeError (53 when
/// the file is missing, 75 when it cannot be read).
FormatCheck checkSoundFormat(const QString& soundPath);

/// The canonical 44-byte header of the CD file with both length fields 0.
QByteArray cdHeader();

/// Where the samples of a sound lie, as far as the file really holds them.
struct SoundData {
    qint64 tagPosition = 0; ///< 1-based position of "data"; 0: not found
    qint64 start = 0;       ///< 1-based position of the first sample byte
    quint32 declared = 0;   ///< the chunk's byte count as written
    qint64 available = 0;   ///< bytes of samples present: the count, cut at the end of the file
    qint64 fileSize = 0;
};

/// Looks for "data" at positions 37 to `searchEnd`. Throws like checkSoundFormat.
SoundData findSoundData(const QString& soundPath, qint32 searchEnd);

enum class AudioResult {
    Done,
    Cancelled,   ///< the user pressed Cancel (resampling only)
    NoDataTag,   ///< direct copy: no "data" tag; nothing written
    Unsupported, ///< resampling: not 8/16-bit mono/stereo PCM; nothing written
};

/// The direct copy of a sound in CD format: canonical header, the leader from
/// position 41, then the sound's samples from position 176 441, the file's
/// length at position 5 and that length - 45 at position 41. Cancel is not
/// looked at. Throws mk::RuntimeError for file errors.
AudioResult copySound(const QString& soundPath, const QString& cdPath, Progress& progress);

/// Resamples any 8- or 16-bit mono or stereo PCM sound at up to 44 100 Hz into
/// `cdPath`: header, the leader at positions 45 to 176 444, then the sound.
/// The length field at position 5 gets the next free position (file length
/// + 1), position 41 that minus 45. Throws mk::RuntimeError for file errors
/// and for a "data" tag beyond position 1000 (321).
AudioResult resample(const QString& soundPath, const QString& cdPath, Progress& progress);

/// Any sound libsndfile reads, converted on the way in as the sound
/// converter converts (libsoxr, TPDF dither, stereo), laid out as `resample`
/// lays out its file. Throws mk::RuntimeError for file errors; Unsupported
/// when libsndfile cannot read the sound (nothing written).
AudioResult convertSound(const QString& soundPath, const QString& cdPath, Progress& progress);

/// round(rate / 44 100 x 10 000): the phase step of the resampler in
/// ten-thousandths of an input frame (22 050 Hz gives 5000).
qint32 resampleStep(quint32 sampleRate);

} // namespace mk::cd
