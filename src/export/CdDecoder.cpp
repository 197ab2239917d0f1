#include "export/CdDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>

#include "platform/RuntimeError.h"

namespace mk::cd {

namespace {

constexpr qint64 kShowStart = 44100;
constexpr qint64 kSlot = 1470;
/// A start bit found up to this many samples early still belongs to its slot.
constexpr qint64 kEarly = 2;
/// Where each of a character's ten bits is read, from its start bit's first
/// sample: the middle of each bit of 4.6 samples, (k + 0.5) x 4.6 rounded down.
constexpr std::array<qint64, 10> kMiddles{2, 6, 11, 16, 20, 25, 29, 34, 39, 43};
/// The idle level is read from this much of the leader; a rip shifted by
/// less than the other half of its second still has idle line here.
constexpr qint64 kLeaderProbe = 22050;
/// The space level is read from the leader and the first frames after it.
constexpr qint64 kLevelProbe = 2 * 44100;

QString hex(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QStringLiteral("nothing") : QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

qint64 DecodedStream::offset() const
{
    return origin - kShowStart;
}

DecodedStream decodeCdFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        throw RuntimeError::fileNotFound();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError::pathFileAccess();
    const qint64 size = file.size();
    const QByteArray head = file.read(10007);
    if (!head.startsWith("RIFF") || head.size() < 44 || qFromLittleEndian<quint16>(head.constData() + 22) != 2
        || qFromLittleEndian<quint16>(head.constData() + 34) != 16)
        throw RuntimeError::invalidFileFormat();
    const qsizetype tag = head.indexOf("data", 36);
    if (tag < 0 || tag + 8 > head.size())
        throw RuntimeError::invalidFileFormat();
    const qint64 start = tag + 8; // offset of the first sample
    const qint64 declared = qFromLittleEndian<quint32>(head.constData() + tag + 4);

    DecodedStream out;
    out.dataFrames = std::min(declared, size - start) / 4;
    if (out.dataFrames <= 0)
        return out;
    const uchar* data = file.map(start, out.dataFrames * 4);
    if (!data)
        throw RuntimeError::pathFileAccess();
    const auto unmap = qScopeGuard([&] { file.unmap(const_cast<uchar*>(data)); });

    const qint64 n = out.dataFrames;
    auto level = [&](qint64 i) { return double(qFromLittleEndian<qint16>(data + 4 * i + 2)); };

    // The idle level: the leader's median, which a little noise leaves alone.
    std::vector<double> leader(size_t(std::min(n, kLeaderProbe)));
    for (size_t i = 0; i < leader.size(); ++i)
        leader[i] = level(qint64(i));
    std::nth_element(leader.begin(), leader.begin() + qsizetype(leader.size() / 2), leader.end());
    out.idleLevel = leader[leader.size() / 2];

    // The space level: the mean of what lies above the threshold, the
    // threshold halfway between idle and space, until the two agree. Marks
    // and gaps lie below the threshold and take no part.
    const qint64 probe = std::min(n, kLevelProbe);
    double peak = out.idleLevel;
    for (qint64 i = 0; i < probe; ++i)
        peak = std::max(peak, level(i));
    if (peak <= out.idleLevel)
        return out; // nothing but idle line and marks: no stream
    double threshold = (out.idleLevel + peak) / 2;
    double space = peak;
    for (int round = 0; round < 32; ++round) {
        double sum = 0;
        qint64 count = 0;
        for (qint64 i = 0; i < probe; ++i)
            if (const double v = level(i); v > threshold) {
                sum += v;
                ++count;
            }
        space = sum / double(count); // the peak itself is always above
        const double next = (out.idleLevel + space) / 2;
        const bool settled = std::abs(next - threshold) < 0.5;
        threshold = next;
        if (settled)
            break;
    }
    out.spaceLevel = space;
    out.threshold = threshold;

    auto isSpace = [&](qint64 i) { return level(i) > threshold; };
    out.weakestMargin = std::numeric_limits<double>::max();
    qint64 i = 0;
    while (true) {
        // A start bit is a space after anything else.
        while (i < n && !(isSpace(i) && (i == 0 || !isSpace(i - 1))))
            ++i;
        if (i >= n)
            break;
        // A start bit that is no longer space in its middle was a spike.
        if (i + kMiddles[0] < n && !isSpace(i + kMiddles[0])) {
            ++i;
            continue;
        }
        DecodedCharacter c;
        c.start = i;
        bool bits[10];
        for (size_t k = 0; k < kMiddles.size(); ++k) {
            const qint64 at = i + kMiddles[k];
            if (at >= n) {
                bits[k] = true; // the file ends inside the character
                c.framingError = true;
                continue;
            }
            const double v = level(at);
            bits[k] = v <= threshold;
            out.weakestMargin = std::min(out.weakestMargin, std::abs(v - threshold));
        }
        for (int k = 0; k < 8; ++k)
            c.value |= quint8(bits[k + 1] ? 1 : 0) << k;
        c.framingError = c.framingError || !bits[9];
        out.characters.push_back(c);
        // Go on from the middle of the stop bit; after a framing error the
        // line must first leave space, which the edge search requires.
        i += kMiddles[9] + 1;
    }
    if (out.characters.empty())
        out.weakestMargin = 0;
    else
        out.origin = out.characters.front().start;
    return out;
}

Verification verifyFrames(const DecodedStream& stream, qint32 lastFrame,
                          const std::function<QByteArray(qint32)>& expected)
{
    Verification v;
    v.streamFound = stream.origin >= 0;
    v.offset = stream.offset();
    v.idleLevel = stream.idleLevel;
    v.spaceLevel = stream.spaceLevel;
    v.threshold = stream.threshold;
    v.weakestMargin = stream.weakestMargin;
    v.framesExpected = std::max<qint64>(0, qint64(lastFrame) + 1);
    std::map<qint64, QByteArray> bySlot;
    std::map<qint64, bool> damaged;
    for (const DecodedCharacter& c : stream.characters) {
        const qint64 slot = (c.start + kEarly - stream.origin) / kSlot;
        if (slot >= v.framesExpected) {
            ++v.strayCharacters;
            continue;
        }
        bySlot[slot].append(char(c.value));
        if (c.framingError)
            damaged[slot] = true;
    }
    for (qint32 f = 0; f <= lastFrame; ++f) {
        const QByteArray want = expected(f);
        const auto it = bySlot.find(f);
        const QByteArray got = it == bySlot.end() ? QByteArray() : it->second;
        const bool bad = damaged.count(f) > 0;
        if (got == want && !bad) {
            ++v.framesMatching;
            continue;
        }
        ++v.mismatches;
        if (v.firstMismatches.size() < 10)
            v.firstMismatches << QStringLiteral("frame %1: expected %2, decoded %3%4")
                                     .arg(f)
                                     .arg(hex(want), hex(got), bad ? QStringLiteral(" (framing error)") : QString());
    }
    return v;
}

QString Verification::report() const
{
    QString text;
    if (streamFound) {
        const double halfSwing = threshold - idleLevel;
        text += QStringLiteral("Stream found at offset %1%2 samples (idle %3, space %4, threshold %5); "
                               "weakest bit %6 from the threshold (%7 %).\n")
                    .arg(offset > 0 ? QStringLiteral("+") : QString())
                    .arg(offset)
                    .arg(qRound(idleLevel))
                    .arg(qRound(spaceLevel))
                    .arg(qRound(threshold))
                    .arg(qRound(weakestMargin))
                    .arg(halfSwing > 0 ? qRound(100 * weakestMargin / halfSwing) : 0);
    } else {
        text += QStringLiteral("No servo stream found.\n");
    }
    text += QStringLiteral("%1 of %2 frames match.\n").arg(framesMatching).arg(framesExpected);
    if (strayCharacters > 0)
        text += QStringLiteral("%1 characters outside the frames of the show.\n").arg(strayCharacters);
    if (!firstMismatches.isEmpty()) {
        text += QStringLiteral("First frames that differ:\n");
        for (const QString& line : firstMismatches)
            text += QStringLiteral("  ") + line + QLatin1Char('\n');
    }
    return text;
}

} // namespace mk::cd
