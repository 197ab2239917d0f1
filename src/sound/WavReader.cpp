#include "sound/WavReader.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <limits>

#include "platform/Rounding.h"

namespace mk::wav {

namespace {

const QChar CR(13);

quint32 le(const QByteArray& bytes, qint64 offset, int width)
{
    // Bytes beyond the end of a short file count as zero.
    quint32 v = 0;
    for (int i = width - 1; i >= 0; --i) {
        const qint64 at = offset + i;
        const quint8 b = at >= 0 && at < bytes.size() ? quint8(bytes[at]) : 0;
        v = (v << 8) | b;
    }
    return v;
}

template <typename T>
QString shortest(T v)
{
    if (v == 0)
        return QStringLiteral("0"); // also for -0
    char buf[128];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc())
        return QString::number(double(v));
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

} // namespace

qint32 findDataTag(const QByteArray& head)
{
    for (qint32 p = firstSearchPosition; p <= lastSearchPosition; ++p) {
        const qint64 offset = p - 1;
        if (offset + 4 > head.size())
            break;
        if (head[offset] == 'd' && head[offset + 1] == 'a' && head[offset + 2] == 't' && head[offset + 3] == 'a')
            return p;
    }
    return 0;
}

float lengthInSeconds(qint32 soundLength, qint32 sampleRate, qint16 channels, qint16 bitsPerSample)
{
    if (sampleRate == 0 || channels == 0)
        return 0.0f;
    float seconds = float(double(soundLength) / sampleRate / channels);
    if (bitsPerSample == 16)
        seconds /= 2;
    return seconds;
}

QString channelWord(qint16 channels)
{
    switch (channels) {
    case 1: return QStringLiteral("mono");
    case 2: return QStringLiteral("stereo");
    default: return QStringLiteral("unknown number of channels");
    }
}

QString shortestText(double v) { return shortest(v); }
QString shortestText(float v) { return shortest(v); }

QString formatCaption(qint16 bitsPerSample, qint16 channels, qint32 sampleRate, float seconds)
{
    return QString::number(bitsPerSample) + QStringLiteral("bit  ") + channelWord(channels) + QStringLiteral("   ")
           + shortestText(sampleRate / 1000.0) + QStringLiteral("kHz   ") + shortestText(seconds)
           + QStringLiteral("seconds");
}

Header measure(qint16 channels, qint32 sampleRate, qint16 bitsPerSample, qint32 dataTagPosition,
               quint32 dataByteCount, qint64 fileSize)
{
    Header h;
    h.channels = channels;
    h.sampleRate = sampleRate;
    h.bitsPerSample = bitsPerSample;
    h.fileSize = fileSize;
    h.soundStart = qint32(checkedNarrow<qint16>(dataTagPosition + 8));
    // Streaming recorders leave 0xFFFFFFFF ("unknown") in the count; read as a
    // signed number it would be negative, so take what the file really holds.
    if (dataByteCount > quint32(std::numeric_limits<qint32>::max())) {
        const qint64 available = std::max<qint64>(0, fileSize - (h.soundStart - 1));
        h.soundLength = qint32(std::min<qint64>(available, std::numeric_limits<qint32>::max()));
    } else {
        h.soundLength = qint32(dataByteCount);
    }
    h.lengthInSeconds = lengthInSeconds(h.soundLength, sampleRate, channels, bitsPerSample);
    h.caption = formatCaption(bitsPerSample, channels, sampleRate, h.lengthInSeconds);
    h.soundEnd = h.soundLength - h.soundStart; // both non-negative: cannot overflow
    h.zoomCentre = roundTo<qint32>(h.soundLength / 2.0);
    return h;
}

ReadResult readHeader(const QString& path)
{
    ReadResult result;
    QFile file(path);
    // Opening a pipe waits for a writer, a device may wait for anything.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        result.problem = Problem::CannotOpen;
        return result;
    }
    const qint64 fileSize = file.size();
    // Everything the header and the tag search can look at: the tag may start
    // at 10 000, and its byte count follows it.
    const QByteArray head = file.read(lastSearchPosition + 7);
    file.close();

    if (!head.startsWith("RIFF")) {
        result.problem = Problem::NotRiff;
        return result;
    }
    const qint32 tag = findDataTag(head);
    if (tag == 0) {
        result.problem = Problem::NoDataTag;
        return result;
    }
    result.header = measure(qint16(le(head, 22, 2)), qint32(le(head, 24, 4)), qint16(le(head, 34, 2)), tag,
                            le(head, tag - 1 + 4, 4), fileSize);
    // A sound of no length would size every track to nothing.
    if (result.header.soundLength == 0 || fileSize < result.header.soundStart)
        result.problem = Problem::NoSamples;
    return result;
}

QString bareName(const QString& path)
{
    // Project files written on Windows carry backslashes.
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

Message notRiffMessage()
{
    return {QStringLiteral("This file does not appear to be a .wav file"), applicationTitle(), MessageButtons::Ok,
            MessageIcon::None};
}

static Message soundProblem(const QString& reason)
{
    return {QStringLiteral("This doesn't seem to be a valid .wav file.") + CR
                + QStringLiteral("Try opening this file in another program such as Sound Recorder") + CR
                + QStringLiteral("and saving it right back out again.") + CR + QStringLiteral("Reason: ") + reason,
            QStringLiteral("Sound Problem"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message soundProblemMessage() { return soundProblem(QStringLiteral("Didn't find \"data\"")); }

Message noSamplesMessage() { return soundProblem(QStringLiteral("No samples")); }

Message notAFileMessage(const QString& path)
{
    return {path + CR + QStringLiteral("is not a sound file but a device or a pipe.") + CR
                + QStringLiteral("Choose a .wav file."),
            QStringLiteral("Sound Problem"), MessageButtons::Ok, MessageIcon::Exclamation};
}

Message noSoundCardMessage()
{
    return {QStringLiteral("It appears that either you do not have a sound card installed") + CR
                + QStringLiteral("or that you do not have the drivers installed which are ") + CR
                + QStringLiteral("necessary to play Wave (.wav) files"),
            applicationTitle(), MessageButtons::Ok, MessageIcon::None};
}

Message deviceTroubleMessage(const QString& errorDescription)
{
    return {QStringLiteral("GW:Had trouble with this file...") + CR + QStringLiteral("Error Description = ")
                + errorDescription + CR + QStringLiteral("Error Code = 263"),
            applicationTitle(), MessageButtons::Ok, MessageIcon::None};
}

Message locateMessage(const QString& bare)
{
    return {QStringLiteral("The sound file that was used with this project no longer") + CR
                + QStringLiteral("exists or has been moved.  Please locate this file: ") + CR + bare,
            QStringLiteral("Can't find the sound file"), MessageButtons::OkCancel, MessageIcon::Exclamation};
}

FileDialogRequest locateDialog(const QString& bare)
{
    return {QStringLiteral("Locate ") + bare, QStringLiteral("Wave Audio Files  *.wav|*.wav|All Files|*.*"), bare};
}

} // namespace mk::wav
