#include "export/CdDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <map>

#include "platform/RuntimeError.h"

namespace mk::cd {

namespace {

constexpr double kBitSamples = 44100.0 / (44100.0 * 10 / 46); // 4.6
constexpr qint64 kShowStart = 44100;
constexpr qint64 kSlot = 1470;
/// A start bit found up to this many samples early still belongs to its slot.
constexpr qint64 kEarly = 2;

QString hex(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QStringLiteral("nothing") : QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

DecodedStream decodeCdFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        throw RuntimeError(53, "File not found");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(75, "Path/File access error");
    const qint64 size = file.size();
    const QByteArray head = file.read(10007);
    if (!head.startsWith("RIFF") || head.size() < 44 || qFromLittleEndian<quint16>(head.constData() + 22) != 2
        || qFromLittleEndian<quint16>(head.constData() + 34) != 16)
        throw RuntimeError(321, "Invalid file format");
    const qsizetype tag = head.indexOf("data", 36);
    if (tag < 0 || tag + 8 > head.size())
        throw RuntimeError(321, "Invalid file format");
    const qint64 start = tag + 8; // offset of the first sample
    const qint64 declared = qFromLittleEndian<quint32>(head.constData() + tag + 4);

    DecodedStream out;
    out.dataFrames = std::min(declared, size - start) / 4;
    if (out.dataFrames <= 0)
        return out;
    const uchar* data = file.map(start, out.dataFrames * 4);
    if (!data)
        throw RuntimeError(75, "Path/File access error");

    const qint64 n = out.dataFrames;
    // Mark (1) at or below 0, space (0) above.
    auto mark = [&](qint64 i) { return i < 0 || qFromLittleEndian<qint16>(data + 4 * i + 2) <= 0; };
    qint64 i = 0;
    while (true) {
        // A start bit is a space after a mark.
        while (i < n && !(mark(i - 1) && !mark(i)))
            ++i;
        if (i >= n)
            break;
        DecodedCharacter c;
        c.start = i;
        bool bits[10];
        for (int k = 0; k < 10; ++k) {
            // Two samples from the middle of the bit: both must agree.
            const qint64 at = i + qint64((k + 0.5) * kBitSamples);
            const bool a = at < n ? mark(at) : true;
            const bool b = at + 1 < n ? mark(at + 1) : true;
            c.noisy = c.noisy || a != b;
            bits[k] = a;
        }
        c.noisy = c.noisy || bits[0];
        for (int k = 0; k < 8; ++k)
            c.value |= quint8(bits[k + 1] ? 1 : 0) << k;
        c.framingError = !bits[9];
        out.characters.push_back(c);
        // Go on from the middle of the stop bit; after a framing error the
        // line must first return to mark, which the edge search requires.
        i += qint64(9.5 * kBitSamples) + 1;
    }
    file.unmap(const_cast<uchar*>(data));
    return out;
}

Verification verifyFrames(const DecodedStream& stream, qint32 lastFrame,
                          const std::function<QByteArray(qint32)>& expected)
{
    Verification v;
    v.framesExpected = std::max<qint64>(0, qint64(lastFrame) + 1);
    std::map<qint64, QByteArray> bySlot;
    std::map<qint64, bool> damaged;
    for (const DecodedCharacter& c : stream.characters) {
        const qint64 slot = c.start + kEarly >= kShowStart ? (c.start + kEarly - kShowStart) / kSlot : -1;
        if (slot < 0 || slot >= v.framesExpected) {
            ++v.strayCharacters;
            continue;
        }
        bySlot[slot].append(char(c.value));
        if (c.framingError || c.noisy)
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
                                     .arg(hex(want), hex(got),
                                          bad ? QStringLiteral(" (framing error or noise)") : QString());
    }
    return v;
}

QString Verification::report() const
{
    QString text = QStringLiteral("%1 of %2 frames match.\n").arg(framesMatching).arg(framesExpected);
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
