#pragma once
// Reads the servo stream back out of a CD playback file as a serial receiver
// would, without the encoder: the right channel is a line that is idle (mark)
// at or below 0 and space above 0; a character is a start bit, eight data bits
// (least significant first) and a stop bit at 44 100 / 4.6 = 9 587 baud,
// each bit read in the middle of its 4.6 samples.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include <QByteArray>

namespace mk::cd {

struct DecodedCharacter {
    qint64 start = 0;  ///< data frame (sample index) of the start bit's first sample
    quint8 value = 0;
    bool framingError = false; ///< the stop bit was not a mark
    bool noisy = false;        ///< the two samples read for a bit disagreed
};

struct DecodedStream {
    qint64 dataFrames = 0; ///< stereo frames in the declared data, as far as the file holds them
    std::vector<DecodedCharacter> characters;
};

/// Decodes the right channel of the "data" chunk of the WAV at `path`
/// (16-bit stereo). Throws mk::RuntimeError for a missing or unreadable file
/// (53, 75) or one that is not such a WAV (321).
DecodedStream decodeCdFile(const QString& path);

struct Verification {
    qint64 framesExpected = 0;
    qint64 framesMatching = 0;
    /// Up to ten lines, one per frame that does not match, in frame order.
    QStringList firstMismatches;
    qint64 mismatches = 0;
    /// Characters outside any frame of the show (before it, or after its end).
    qint64 strayCharacters = 0;
    bool allMatch() const { return framesMatching == framesExpected && mismatches == 0 && strayCharacters == 0; }
    /// "301 of 301 frames match." and, when they do not, the first ones that differ.
    QString report() const;
};

/// Groups the characters into frame slots (frame f starts at sample
/// 44 100 + 1470 f) and compares each slot with `expected(f)` for f = 0..lastFrame.
Verification verifyFrames(const DecodedStream& stream, qint32 lastFrame,
                          const std::function<QByteArray(qint32)>& expected);

} // namespace mk::cd
