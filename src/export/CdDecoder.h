#pragma once
// Reads the servo stream back out of a CD playback file as a serial receiver
// would, without the encoder. A drive's rip may start a few hundred samples
// early or late, be scaled or lightly noisy, so nothing is taken for granted:
// the idle level comes from the leader, the space level from the stream, and
// a bit is space when it lies above the threshold halfway between them (mark
// and gap lie below). The stream is found by its first start bit; each
// character is a start bit, eight data bits (least significant first) and a
// stop bit at 44 100 / 4.6 = 9 587 baud, each bit read in the middle of its
// 4.6 samples.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include <QByteArray>

namespace mk::cd {

struct DecodedCharacter {
    qint64 start = 0;  ///< data frame (sample index) of the start bit's first sample
    quint8 value = 0;
    bool framingError = false; ///< the stop bit was not a mark, or the file ended inside
};

struct DecodedStream {
    qint64 dataFrames = 0; ///< stereo frames in the declared data, as far as the file holds them
    /// The first start bit: where frame 0 begins in this file. -1: no stream.
    qint64 origin = -1;
    double idleLevel = 0;  ///< the line in the leader
    double spaceLevel = 0; ///< the mean of the samples above the threshold
    double threshold = 0;  ///< halfway between the two
    /// The distance from the threshold of the sampled bit that came closest.
    double weakestMargin = 0;
    std::vector<DecodedCharacter> characters;
    /// How far the stream lies from where the export puts it (44 100): < 0 early.
    qint64 offset() const;
};

/// Decodes the right channel of the "data" chunk of the WAV at `path`
/// (16-bit stereo). Throws mk::RuntimeError for a missing or unreadable file
/// (53, 75) or one that is not such a WAV (321).
DecodedStream decodeCdFile(const QString& path);

struct Verification {
    bool streamFound = false;
    qint64 offset = 0;
    double idleLevel = 0;
    double spaceLevel = 0;
    double threshold = 0;
    double weakestMargin = 0;
    qint64 framesExpected = 0;
    qint64 framesMatching = 0;
    /// Up to ten lines, one per frame that does not match, in frame order.
    QStringList firstMismatches;
    qint64 mismatches = 0;
    /// Characters outside any frame of the show (before it, or after its end).
    qint64 strayCharacters = 0;
    bool allMatch() const { return framesMatching == framesExpected && mismatches == 0 && strayCharacters == 0; }
    /// Where the stream was found and its weakest bit, "301 of 301 frames
    /// match." and, when they do not, the first ones that differ.
    QString report() const;
};

/// Groups the characters into frame slots (frame f starts 1470 f samples
/// after the stream's first start bit) and compares each slot with
/// `expected(f)` for f = 0..lastFrame.
Verification verifyFrames(const DecodedStream& stream, qint32 lastFrame,
                          const std::function<QByteArray(qint32)>& expected);

} // namespace mk::cd
