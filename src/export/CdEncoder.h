#pragma once
// The servo half of a CD playback file: every frame's message, as the serial
// port would receive it live, written into the right channel as a serial
// signal at about 9 587 baud. Frame f's message starts f thirtieths of a
// second after the one-second leader:
//
//   data frame 44 100 + 1470 f:  24 characters x 46 samples | 366 samples of 0
//   (a project of fewer tracks has fewer characters and a longer gap)
//   character:  start 0 | bits 0..7, least significant first | stop 1
//   samples:    5       | 4 5 4 5 5 4 5 4                     | 5
//   levels:     "0" = +32 767, "1" = -32 767, gap = 0
#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <span>

#include "export/CdAudio.h"
#include "link/PositionCommand.h"

namespace mk::cd {

constexpr int kMessageBytes = 24;
constexpr int kCharacterSamples = 46;
constexpr int kGapSamples = 366;
constexpr int kSlotSamples = kMessageBytes * kCharacterSamples + kGapSamples; // 1470: 1/30 s
/// The data frame (4 bytes, left then right) where frame 0's message starts.
constexpr qint64 kFirstStreamFrame = kRate;
constexpr std::array<int, 10> kSymbolSamples{5, 4, 5, 4, 5, 5, 4, 5, 4, 5};
constexpr qint16 kOneLevel = -32767;
constexpr qint16 kZeroLevel = 32767;

/// The ten symbols of one serial character: "0", bits 0 to 7, "1".
QString byteToBits(quint8 b);

/// The message of one frame: 24 bytes, or 3 per track of a smaller project.
using FrameSource = std::function<QByteArray(qint32 frame)>;

/// Frame f's message exactly as playback builds it: every track is given the
/// frame (currentFrame), then for each track 255, its index and the number in
/// its serialPortString. `Track` is mk::ServoTrack or NewSlider. Throws
/// mk::RuntimeError as the frame update and the command builder do.
template <typename Track>
QByteArray frameMessage(std::span<Track* const> tracks, qint32 frame)
{
    for (Track* t : tracks)
        t->setCurrentFrame(frame);
    QByteArray message;
    message.reserve(3 * int(tracks.size()));
    for (size_t i = 0; i < tracks.size(); ++i)
        appendPositionCommand(message, int(i), positionByte(tracks[i]->serialPortString()));
    return message;
}

enum class EncodeResult { Done, Cancelled };

/// Writes frames 0..lastFrame into the right channel of the CD file that
/// copySound or resample made, zeroes the left channel of what runs past the
/// old end, and writes both length fields so the file ends with the stream.
/// Cancel is looked at before every frame; a cancelled file keeps the frames
/// written. Throws mk::RuntimeError (a bad message, file errors, 6 when the
/// file would pass 2 GiB).
EncodeResult encodeServoData(const QString& cdPath, qint32 lastFrame, const FrameSource& frames, Progress& progress);

} // namespace mk::cd
