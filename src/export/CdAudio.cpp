#include "export/CdAudio.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "export/CdFiles.h"
#include "platform/Rounding.h"
#include "platform/RuntimeError.h"
#include "sound/SoundConverter.h"

namespace mk::cd {

namespace {

quint32 le(const QByteArray& bytes, qint64 offset, int width)
{
    // Header bytes beyond the end of a short file read as zero.
    quint32 v = 0;
    for (int i = width - 1; i >= 0; --i) {
        const qint64 at = offset + i;
        v = (v << 8) | (at >= 0 && at < bytes.size() ? quint8(bytes[at]) : 0u);
    }
    return v;
}

bool isPcm(const QByteArray& head)
{
    const quint32 code = le(head, 20, 2);
    if (code == 1)
        return true;
    if (code != 0xFFFE)
        return false;
    // WAVE_FORMAT_EXTENSIBLE: the real format is the GUID at offset 44, whose
    // first two bytes are the format code and the rest the fixed tail below.
    static const char kTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
    return le(head, 16, 4) >= 40 && head.size() >= 60 && le(head, 44, 2) == 1
           && head.mid(46, 14) == QByteArray(kTail, 14);
}

/// Closes a resampled or converted CD file. Its RIFF and data sizes count
/// one byte past the last one, as resampled files always have.
AudioResult finishWritten(OutFile& out)
{
    out.flush();
    const quint32 next = quint32(out.size() + 1);
    out.writeLe32At(4, next);
    out.writeLe32At(40, next - 45);
    out.close();
    return AudioResult::Done;
}

} // namespace

QString percentText(double percent)
{
    QString text = QString::number(percent, 'f', 2);
    // "#" prints no digit for a zero whole part.
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    return text + QLatin1Char('%');
}

FormatCheck checkSoundFormat(const QString& soundPath)
{
    InFile in(soundPath);
    const QByteArray head = in.readAt(0, 60);
    FormatCheck c;
    c.channels = quint16(le(head, 22, 2));
    c.sampleRate = le(head, 24, 4);
    c.bitsPerSample = quint16(le(head, 34, 2));
    c.pcm = isPcm(head);
    if (c.sampleRate == quint32(kRate) && c.bitsPerSample == 16 && c.channels == 2)
        c.verdict = Verdict::Good;
    else if (c.sampleRate > quint32(kRate))
        c.verdict = Verdict::High;
    else
        c.verdict = Verdict::Bad;
    return c;
}

QByteArray cdHeader()
{
    QByteArray h(kHeaderBytes, '\0');
    char* p = h.data();
    memcpy(p, "RIFF", 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(2, p + 22);
    qToLittleEndian<quint32>(kRate, p + 24);
    qToLittleEndian<quint32>(kRate * 4, p + 28);
    qToLittleEndian<quint16>(4, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    memcpy(p + 36, "data", 4);
    return h;
}

SoundData findSoundData(const QString& soundPath, qint32 searchEnd)
{
    InFile in(soundPath);
    SoundData d;
    d.fileSize = in.size();
    const QByteArray head = in.readAt(0, searchEnd + 7);
    for (qint32 p = 37; p <= searchEnd && p - 1 + 4 <= head.size(); ++p) {
        if (head.mid(p - 1, 4) == "data") {
            d.tagPosition = p;
            break;
        }
    }
    if (d.tagPosition == 0)
        return d;
    d.start = d.tagPosition + 8;
    d.declared = le(head, d.tagPosition - 1 + 4, 4);
    const qint64 inFile = std::max<qint64>(0, d.fileSize - (d.start - 1));
    // Streaming recorders leave 0xFFFFFFFF ("unknown") in the count: then the
    // samples run to the end of the file.
    d.available = d.declared > quint32(std::numeric_limits<qint32>::max()) ? inFile
                                                                          : std::min<qint64>(d.declared, inFile);
    return d;
}

AudioResult copySound(const QString& soundPath, const QString& cdPath, Progress& progress)
{
    const SoundData sound = findSoundData(soundPath, kCopySearchEnd);
    if (sound.tagPosition == 0)
        return AudioResult::NoDataTag;
    // Positions are 32-bit: a file past 2 GiB cannot be described.
    const qint64 total = 40 + qint64(kLeaderBytes) + sound.available;
    if (total > std::numeric_limits<qint32>::max())
        throw RuntimeError::overflow();

    InFile in(soundPath);
    OutFile out(cdPath);
    // The leader starts on the data length field (position 41), which is
    // filled in at the end; the sound's samples follow from position 176 441.
    out.append(cdHeader().left(40));
    progress.stage(QStringLiteral("Adding 1 second leader"));
    out.appendZeros(kLeaderBytes);
    for (qint32 count = 4096; count <= kLeaderValues; count += 4096)
        progress.percent(double(count) / kLeaderValues * 100);

    progress.stage(QStringLiteral("Copying the sound data to the new file."));
    qint64 copied = 0;
    QByteArray bytes(kCopyPiece, Qt::Uninitialized);
    while (copied < sound.available) {
        const qint64 piece = std::min<qint64>(kCopyPiece, sound.available - copied);
        if (in.readInto(sound.start - 1 + copied, bytes.data(), piece) != piece)
            throw RuntimeError::deviceIOError();
        out.append(bytes.constData(), piece);
        copied += piece;
        const qint64 lastRead = sound.start - 1 + copied;
        progress.percent(double(lastRead) / double(sound.fileSize) * 100);
    }
    out.flush();
    const quint32 length = quint32(out.size());
    out.writeLe32At(4, length);
    out.writeLe32At(40, length - 45);
    out.close();
    return AudioResult::Done;
}

qint32 resampleStep(quint32 sampleRate)
{
    return roundTo<qint16>(double(sampleRate) / kRate * 10000);
}

AudioResult resample(const QString& soundPath, const QString& cdPath, Progress& progress)
{
    const FormatCheck format = checkSoundFormat(soundPath);
    const SoundData sound = findSoundData(soundPath, kResampleSearchEnd);
    if (sound.tagPosition == 0)
        throw RuntimeError::invalidFileFormat();
    const int channels = format.channels;
    const int bits = format.bitsPerSample;
    const qint32 step = format.sampleRate <= quint32(kRate) ? resampleStep(format.sampleRate) : 0;
    // A step of 0 would never move on to the next input frame.
    if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || step <= 0)
        return AudioResult::Unsupported;

    const int frameBytes = channels * bits / 8;
    const qint64 n = sound.available / frameBytes;
    const qint64 outFrames = n > 1 ? ((n - 1) * 10000 + step - 1) / step : 0;
    if (kHeaderBytes + qint64(kLeaderBytes) + 4 * outFrames + 1 > std::numeric_limits<qint32>::max())
        throw RuntimeError::overflow();

    InFile in(soundPath);
    in.seek(sound.start - 1);
    OutFile out(cdPath);
    out.append(cdHeader());
    out.appendZeros(kLeaderBytes);

    auto readFrame = [&](qint16& l, qint16& r) {
        const uchar* f = in.next(frameBytes);
        if (bits == 8) {
            l = qint16((int(f[0]) - 128) * 256);
            r = channels == 2 ? qint16((int(f[1]) - 128) * 256) : l;
        } else {
            l = qFromLittleEndian<qint16>(f);
            r = channels == 2 ? qFromLittleEndian<qint16>(f + 2) : l;
        }
    };
    // (10000 - phase) / 10000 x previous + phase / 10000 x current, rounded
    // half to even, in whole numbers: exact, where doubles would put some
    // halves a hair to one side.
    auto mix = [](qint32 phase, qint16 previous, qint16 current) {
        const qint32 scaled = (10000 - phase) * previous + phase * current;
        qint32 q = scaled / 10000;
        qint32 r = scaled % 10000;
        if (r < 0) {
            r += 10000;
            --q;
        }
        if (r > 5000 || (r == 5000 && (q & 1)))
            ++q;
        return qint16(q);
    };

    qint16 l = 0, r = 0;
    if (n > 0)
        readFrame(l, r);
    qint32 phase = 0;
    qint64 left = n > 0 ? n - 1 : 0;
    while (left != 0) {
        if (progress.cancelled()) {
            out.close(); // what was written stays
            return AudioResult::Cancelled;
        }
        const qint16 pl = l, pr = r;
        readFrame(l, r);
        for (; phase < 10000; phase += step) {
            const qint16 left = mix(phase, pl, l);
            out.appendLe16(left);
            out.appendLe16(channels == 1 ? left : mix(phase, pr, r));
        }
        phase -= 10000;
        --left;
        if (left % 500 == 0)
            progress.percent(100 - roundHalfEven(double(left) / double(n) * 10000) / 100);
    }
    return finishWritten(out);
}

AudioResult convertSound(const QString& soundPath, const QString& cdPath, Progress& progress)
{
    sound::SoundReader reader(soundPath, sound::SoundReader::Channels::Stereo);
    if (!reader.ok())
        return AudioResult::Unsupported;
    OutFile out(cdPath);
    out.append(cdHeader());
    out.appendZeros(kLeaderBytes);
    sound::Dither dither(!reader.exact16());
    constexpr qint64 kFrames = 8192;
    std::vector<float> block(2 * kFrames);
    for (int round = 0;; ++round) {
        if (progress.cancelled()) {
            out.close(); // what was written stays, as when resampling
            return AudioResult::Cancelled;
        }
        const qint64 n = reader.read(block.data(), kFrames);
        if (!reader.ok())
            throw RuntimeError::invalidFileFormat();
        if (n == 0)
            break;
        if (out.size() + 4 * n + 1 > std::numeric_limits<qint32>::max())
            throw RuntimeError::overflow();
        for (qint64 i = 0; i < 2 * n; ++i)
            out.appendLe16(dither(block[size_t(i)]));
        if (round % 16 == 0)
            progress.percent(reader.fraction() * 100);
    }
    progress.percent(100);
    return finishWritten(out);
}

} // namespace mk::cd
