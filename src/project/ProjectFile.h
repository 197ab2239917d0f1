#pragma once
// The project file (".pjt"), without widgets: a reader that checks and
// decodes a file into a plain Project, a writer, and the two steps that hand
// a decoded project to eight servo tracks. The main window's Open Project and
// the command-line tools use the same code, so a project opens alike in both.
//
// Layout (integers little-endian; a Boolean is an int16, True = -1; text is
// fixed width, blank padded, without terminator):
//
//   0   13   "MarionetteKit"
//   13   2   version: "03" project, "02" settings only (not looked at)
//   15   4   int32 F: the tracks hold frames 0..F
//   19   1   uint8 frame rate, 30
//   20   1   uint8 N, index of the last track
//   21  41 x (N+1) servo records:
//            +0 Boolean active, +2 uint8 device type, +3 int16 minimum,
//            +5 int16 maximum, +7 Boolean reversed, +9 32-byte name
//   ..  255  sound file name, or "noSound"
//   ..  2 x (F+1) x (N+1)  int16 positions, track 0 frames 0..F first
//   ..   2   int16 countdown seconds
//   ..   2   Boolean countdown switched on
//   ..  29   "01234567890FINISHED0123456789" (Save Project As only; optional)
//
// Text: Windows-1252 when every character fits, UTF-8 otherwise; a field that
// is valid UTF-8 reads as UTF-8, anything else as Windows-1252.
//
// Thread: any, one call at a time per object; nothing here is shared.
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <functional>
#include <span>
#include <vector>

#include "platform/RuntimeError.h"
#include "tracks/ServoTrack.h"

class QIODevice;

namespace mk::project {

inline constexpr int kFormatNameSize = 13;
inline constexpr int kHeaderSize = 21;
inline constexpr int kServoRecordSize = 41;
inline constexpr int kServoNameSize = 32;
inline constexpr int kSoundNameSize = 255;
inline constexpr int kTrailerSize = 4;
inline constexpr int kEndMarkerSize = 29;
/// The program has eight tracks: N is at most 7.
inline constexpr int kMaxLastServoIndex = 7;
/// Progress is reported after every this many positions of a track.
inline constexpr qint32 kProgressStep = 200;

QByteArray formatName();       ///< "MarionetteKit"
QByteArray endMarker();        ///< "01234567890FINISHED0123456789"
QString noSound();             ///< "noSound"
QString notPreviouslySaved();  ///< "not previously saved"

/// One track's set-up as the file holds it.
struct ServoRecord {
    bool active = true;
    quint8 deviceType = 1;
    qint16 minValue = 127;
    qint16 maxValue = 129;
    bool reversed = false;
    /// Decoded from the 32-byte field, blanks included.
    QString name = QStringLiteral("Servo Name");

    bool operator==(const ServoRecord&) const = default;
};

/// Everything a project file holds.
struct Project {
    QByteArray version = "03";   ///< 2 bytes: "03" project, "02" settings only
    qint32 frameCount = 0;       ///< F: positions for frames 0..F
    quint8 frameRate = 30;
    quint8 lastServoIndex = 7;   ///< N
    std::vector<ServoRecord> servos;              ///< N + 1 records
    QString soundName = noSound();                ///< as stored, trailing blanks included
    /// N + 1 tracks of F + 1 positions each. Read: the low byte of every entry
    /// (0..255). Written: each value as an int16, as the track holds it.
    std::vector<std::vector<qint16>> positions;
    qint16 countdownDuration = 10;
    bool countdownEnabled = false;
    bool hasEndMarker = false;   ///< read: the marker follows; write: append it

    bool operator==(const Project&) const = default;

    /// The sound to load: the stored name without its surrounding blanks.
    QString soundFileName() const { return soundName.trimmed(); }
    /// True unless the name, trimmed, is "noSound".
    bool soundLoaded() const { return soundFileName() != noSound(); }
};

/// An error as the message box shows it: number, blank, description.
struct Error {
    int number = 0;
    QString description;
};

/// The outcome of reading.
struct ReadResult {
    enum class Status {
        Ok,
        /// The file does not start with "MarionetteKit": ignore it without a word.
        NotAProject,
        /// Refused; `error` says why. Nothing has been decoded.
        Failed,
    };
    Status status = Status::Failed;
    Project project;
    Error error;
};

/// The outcome of writing.
struct WriteResult {
    bool ok = false;
    Error error;
    /// The sound name did not fit its 255-byte field and was cut: the project
    /// will have to be told where its sound is when it is opened.
    bool soundNameCut = false;
};

/// Called with the track and the index k of the position just written, for
/// k = 0, 200, 400, ... up to F. May process window events.
using Progress = std::function<void(int track, qint32 k)>;

// --- Reading ----------------------------------------------------------------

/// Checks the whole file before decoding anything: the format name, F >= 0,
/// F within what a track can hold, N <= 7, and a length that covers the
/// header, every servo record, the sound name, the position block and the
/// countdown fields (the end marker may be missing; bytes after it are
/// ignored). Memory used is bounded by what the file's length can back.
ReadResult read(QIODevice& in);
ReadResult read(const QByteArray& bytes);
/// Opens, reads and closes `path`.
ReadResult readFile(const QString& path);

// --- Writing ----------------------------------------------------------------

/// Writes `project` in the layout above, positions in blocks. Every track of
/// `project.positions` must hold exactly F + 1 positions and there must be
/// N + 1 servo records (error 9 otherwise, before a byte is written).
WriteResult write(QIODevice& out, const Project& project, const Progress& progress = {});
/// Writes to a temporary file beside `path` that replaces `path` only once it
/// is complete: a failed or interrupted save leaves the previous file as it was.
WriteResult saveFile(const QString& path, const Project& project, const Progress& progress = {});
/// The file's bytes (for tests, tools and the benchmark).
QByteArray encode(const Project& project, WriteResult* result = nullptr);

// --- Text fields --------------------------------------------------------------

/// `text` in `width` bytes: Windows-1252 when every character fits, otherwise
/// UTF-8 cut at a character boundary; blank padded. `cut` is set when the text
/// did not fit.
QByteArray encodeText(const QString& text, int width, bool* cut = nullptr);
QString decodeText(QByteArrayView field);

/// A name read from a file without the blanks that pad it to its field; a
/// leading blank is part of the name.
QString withoutPadding(const QString& name);

// --- Helpers for the commands --------------------------------------------------

/// The sound to load for a project opened from `projectPath`. A stored path
/// that names no file (a project from another machine, "C:\Shows\a.wav") is
/// replaced by a file of the same base name in the project's folder when there
/// is one (backslashes count as separators); otherwise the stored path comes
/// back unchanged, so the sound view asks the user to locate it. The stored
/// name is trimmed; "noSound" stays "noSound".
QString soundPathFor(const QString& storedName, const QString& projectPath);

// --- Between tracks and files -----------------------------------------------
//
// `Track` is mk::ServoTrack or anything with its members (NewSlider).

/// The set-up of track `i` read in the file's order: playbackEnabled,
/// theDeviceType, minValue, maxValue, isReversed, servoName.
template <typename Track>
ServoRecord servoRecordOf(Track& t)
{
    ServoRecord r;
    r.active = t.playbackEnabled();
    r.deviceType = t.theDeviceType();
    r.minValue = t.minValue();
    r.maxValue = t.maxValue();
    r.reversed = t.isReversed();
    r.name = t.servoName();
    return r;
}

/// The set-up part of a project from the tracks 0..lastServoIndex, without
/// version, frame count or positions. Throws mk::RuntimeError 9 when `tracks`
/// has fewer than lastServoIndex + 1 entries.
template <typename Track>
Project setupSnapshot(std::span<Track* const> tracks, quint8 lastServoIndex, const QString& soundName,
                      qint16 countdownDuration, bool countdownEnabled)
{
    if (size_t(lastServoIndex) >= tracks.size())
        throw RuntimeError::subscriptOutOfRange();
    Project p;
    p.lastServoIndex = lastServoIndex;
    p.soundName = soundName;
    p.countdownDuration = countdownDuration;
    p.countdownEnabled = countdownEnabled;
    for (int i = 0; i <= lastServoIndex; ++i)
        p.servos.push_back(servoRecordOf(*tracks[i]));
    return p;
}

/// The last frame of the show on tracks 0..lastServoIndex: the largest
/// `frames` (datalength or maxframe) among them, so that no track of the
/// project loses a frame. Tracks outside the project never count.
template <typename Track, typename Frames>
qint32 lastFrame(std::span<Track* const> tracks, quint8 lastServoIndex, Frames frames)
{
    qint32 last = 0;
    for (size_t i = 0; i <= lastServoIndex && i < tracks.size(); ++i)
        last = std::max(last, qint32(std::invoke(frames, *tracks[i])));
    return last;
}

/// A project from the tracks 0..lastServoIndex with frames 0..F, read through
/// dataStartPoint and data; a track shorter than F + 1 positions has nothing
/// recorded (0) in the frames it lacks. Throws mk::RuntimeError 9 when
/// `tracks` has fewer than lastServoIndex + 1 entries, and 9 for F < 0.
template <typename Track>
Project snapshot(std::span<Track* const> tracks, quint8 lastServoIndex, qint32 frameCount,
                 const QString& soundName, qint16 countdownDuration, bool countdownEnabled)
{
    if (frameCount < 0)
        throw RuntimeError::subscriptOutOfRange();
    Project p = setupSnapshot(tracks, lastServoIndex, soundName, countdownDuration, countdownEnabled);
    p.version = "03";
    p.frameCount = frameCount;
    p.positions.resize(size_t(lastServoIndex) + 1);
    for (int i = 0; i <= lastServoIndex; ++i) {
        Track& t = *tracks[i];
        auto& column = p.positions[size_t(i)];
        column.assign(size_t(frameCount) + 1, 0);
        const qint32 held = std::min(frameCount, t.datalength());
        t.setDataStartPoint(0);
        for (qint32 k = 0; k <= held; ++k)
            column[size_t(k)] = t.data();
    }
    return p;
}

/// The settings-only project: version "02", F = 1, every position 0.
template <typename Track>
Project settingsSnapshot(std::span<Track* const> tracks, quint8 lastServoIndex, const QString& soundName,
                         qint16 countdownDuration, bool countdownEnabled)
{
    Project p = setupSnapshot(tracks, lastServoIndex, soundName, countdownDuration, countdownEnabled);
    p.version = "02";
    p.frameCount = 1;
    p.positions.assign(size_t(lastServoIndex) + 1, std::vector<qint16>(2, 0));
    return p;
}

/// Opening, first step: the set-up of tracks 0..N, each in this order:
/// servoName (without the blanks that pad it to 32 characters, so that text
/// typed after it stays within the 32), playbackEnabled, theDeviceType,
/// minValue, maxValue, isReversed. The minimum goes before the maximum, so
/// each obeys the track's own guard against the value then held. Throws
/// mk::RuntimeError 9 when `tracks` has fewer than N + 1 entries (nothing is
/// changed then).
template <typename Track>
void applySetup(const Project& p, std::span<Track* const> tracks)
{
    if (size_t(p.lastServoIndex) >= tracks.size() || p.servos.size() < size_t(p.lastServoIndex) + 1)
        throw RuntimeError::subscriptOutOfRange();
    for (int i = 0; i <= p.lastServoIndex; ++i) {
        Track& t = *tracks[i];
        const ServoRecord& r = p.servos[size_t(i)];
        t.setServoName(withoutPadding(r.name));
        t.setPlaybackEnabled(r.active);
        t.setTheDeviceType(r.deviceType);
        t.setMinValue(r.minValue);
        t.setMaxValue(r.maxValue);
        t.setIsReversed(r.reversed);
    }
}

/// Opening, second step (after the sound): for each track 0..N, `beforeTrack`
/// (i) is called, then dataStartPoint 0 and currentFrame F (a track grows to
/// F + 1 positions; a longer one keeps its later frames), then frames 0..F
/// get the file's positions. Throws what the track throws (mk::RuntimeError).
template <typename Track>
void applyPositions(const Project& p, std::span<Track* const> tracks,
                    const std::function<void(int track)>& beforeTrack = {})
{
    if (size_t(p.lastServoIndex) >= tracks.size() || p.positions.size() < size_t(p.lastServoIndex) + 1)
        throw RuntimeError::subscriptOutOfRange();
    for (int i = 0; i <= p.lastServoIndex; ++i) {
        if (beforeTrack)
            beforeTrack(i);
        Track& t = *tracks[i];
        t.setDataStartPoint(0);
        t.setCurrentFrame(p.frameCount);
        for (const qint16 v : p.positions[size_t(i)])
            t.setData(v);
    }
}

/// Both steps, for a caller without a sound view (a command-line tool): the
/// sound to use is p.soundFileName(), the countdown p.countdownDuration.
template <typename Track>
void applyToTracks(const Project& p, std::span<Track* const> tracks)
{
    applySetup(p, tracks);
    applyPositions(p, tracks);
}

} // namespace mk::project
