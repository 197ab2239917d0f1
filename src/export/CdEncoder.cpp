#include "export/CdEncoder.h"

#include <QtEndian>

#include <limits>
#include <vector>

#include "export/CdFiles.h"
#include "platform/RuntimeError.h"

namespace mk::cd {

namespace {

/// Animation frames gathered before the file is read and patched.
constexpr qint32 kBatchFrames = 64;

/// The 46 samples of every byte value.
const std::array<std::array<qint16, kCharacterSamples>, 256>& characterTable()
{
    static const auto table = [] {
        std::array<std::array<qint16, kCharacterSamples>, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const QString bits = byteToBits(quint8(b));
            int at = 0;
            for (int s = 0; s < 10; ++s)
                for (int k = 0; k < kSymbolSamples[size_t(s)]; ++k)
                    t[size_t(b)][size_t(at++)] = bits[s] == QLatin1Char('1') ? kOneLevel : kZeroLevel;
        }
        return t;
    }();
    return table;
}

qint64 findData(const QByteArray& head)
{
    for (qint32 p = 37; p <= kCopySearchEnd && p - 1 + 4 <= head.size(); ++p)
        if (head.mid(p - 1, 4) == "data")
            return p;
    throw RuntimeError::invalidFileFormat();
}

} // namespace

QString byteToBits(quint8 b)
{
    // Each symbol goes in front of the ones before it, from bit 7 down to
    // bit 0, so the string reads start, bit 0 .. bit 7, stop.
    QString s = QStringLiteral("1");
    int rest = b;
    for (int weight = 128; weight >= 2; weight /= 2) {
        const bool set = rest >= weight;
        if (set)
            rest -= weight;
        s.prepend(set ? QLatin1Char('1') : QLatin1Char('0'));
    }
    s.prepend(rest != 0 ? QLatin1Char('1') : QLatin1Char('0'));
    s.prepend(QLatin1Char('0'));
    return s;
}

EncodeResult encodeServoData(const QString& cdPath, qint32 lastFrame, const FrameSource& frames, Progress& progress)
{
    progress.stage(QStringLiteral("Encoding data into new file."));
    PatchFile file(cdPath);
    const QByteArray head = file.readAt(0, kCopySearchEnd + 7);
    const qint64 d = findData(head) + 8;
    const qint64 oldEnd = qFromLittleEndian<quint32>(head.constData() + 4);
    const qint64 frameCount = std::max<qint64>(0, qint64(lastFrame) + 1);
    const qint64 p0 = d + 2 + 4 * kFirstStreamFrame;
    const qint64 pEnd = p0 + 4 * kSlotSamples * frameCount;
    const qint64 dataLength = pEnd - 2 - d;
    if (dataLength + 36 > std::numeric_limits<qint32>::max())
        throw RuntimeError::overflow();

    const auto& table = characterTable();
    std::vector<qint16> right;
    right.reserve(size_t(kBatchFrames) * kSlotSamples);
    qint64 batchFirst = kFirstStreamFrame; // data frame of right[0]

    QByteArray block;
    auto writeBatch = [&] {
        if (right.empty())
            return;
        const qint64 offset = d - 1 + 4 * batchFirst;
        const qint64 bytes = 4 * qint64(right.size());
        if (block.size() < bytes)
            block.resize(bytes);
        char* b = block.data();
        const qint64 had = file.readInto(offset, b, bytes);
        std::fill(b + had, b + bytes, '\0');
        for (size_t j = 0; j < right.size(); ++j) {
            qToLittleEndian<qint16>(right[j], b + 4 * j + 2);
            // Past the old end of the sound the left channel is silent.
            if (offset + 4 * qint64(j) + 1 >= oldEnd - 2)
                b[4 * j] = b[4 * j + 1] = 0;
        }
        file.writeAt(offset, b, bytes);
        batchFirst += qint64(right.size());
        right.clear();
    };

    try {
        for (qint32 f = 0; f <= lastFrame; ++f) {
            if (progress.cancelled()) {
                writeBatch();
                file.close();
                return EncodeResult::Cancelled;
            }
            if (f % 6 == 0)
                progress.percent(lastFrame > 0 ? double(f) / lastFrame * 100 : 0.0);
            const QByteArray message = frames(f);
            if (message.size() > kMessageBytes)
                throw RuntimeError::invalidCall();
            for (const char c : message) {
                const auto& samples = table[quint8(c)];
                right.insert(right.end(), samples.begin(), samples.end());
            }
            // A project with fewer than eight tracks sends a shorter message;
            // the longer gap keeps every frame on its thirtieth of a second.
            right.insert(right.end(), kSlotSamples - kCharacterSamples * message.size(), 0);
            if (right.size() >= size_t(kBatchFrames) * kSlotSamples)
                writeBatch();
        }
        writeBatch();
    } catch (...) {
        // The frames encoded before the failure stay in the file.
        try {
            writeBatch();
        } catch (...) {
        }
        throw;
    }

    // The left value of the frame after the stream is zeroed too when the
    // stream has run past the old end.
    if (pEnd - 2 >= oldEnd - 2)
        file.writeAt(pEnd - 3, QByteArray(2, '\0'));
    const auto le32 = [](qint64 v) {
        QByteArray b(4, '\0');
        qToLittleEndian<quint32>(quint32(v), b.data());
        return b;
    };
    file.writeAt(d - 5, le32(dataLength));
    file.writeAt(4, le32(dataLength + 36));
    file.close();
    return EncodeResult::Done;
}

} // namespace mk::cd
