#include "sound/SoundConverter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "sound/WavReader.h"

namespace mk::sound {

namespace {

const QChar CR(13);
/// Frames read from the source at a time: a few hundred kilobytes at most.
constexpr qint64 kBlock = 16384;
/// What a WAV's 32-bit sizes and the view's signed positions can describe.
constexpr qint64 kMaxDataBytes = std::numeric_limits<qint32>::max() - 4096;
const QByteArray kStamp = "MarionetteKit source ";

SNDFILE* openSound(const QString& path, SF_INFO& info)
{
    std::memset(&info, 0, sizeof info);
    return sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
}

QString sndfileProblem(SNDFILE* f)
{
    return QString::fromLocal8Bit(sf_strerror(f));
}

/// The stamp that ties a converted file to its source as it is now.
QByteArray stampOf(const QString& source, int rate)
{
    const QFileInfo fi(source);
    return kStamp + QByteArray::number(fi.size()) + ' '
           + QByteArray::number(fi.lastModified().toMSecsSinceEpoch()) + ' ' + QByteArray::number(rate);
}

QByteArray subChunk(const char* id, QByteArray text)
{
    text.append('\0');
    if (text.size() % 2)
        text.append('\0');
    QByteArray c(id, 4);
    char size[4];
    qToLittleEndian<quint32>(quint32(text.size()), size);
    return c + QByteArray(size, 4) + text;
}

QByteArray listChunk(const QByteArray& stamp)
{
    const QByteArray body = "INFO" + subChunk("ISFT", "MarionetteKit") + subChunk("ICMT", stamp);
    char size[4];
    qToLittleEndian<quint32>(quint32(body.size()), size);
    return "LIST" + QByteArray(size, 4) + body;
}

QByteArray wavHeader(int channels, quint32 dataBytes, quint32 trailerBytes)
{
    QByteArray h(44, '\0');
    char* p = h.data();
    std::memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(36 + dataBytes + (dataBytes & 1) + trailerBytes, p + 4);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(quint16(channels), p + 22);
    qToLittleEndian<quint32>(kTargetRate, p + 24);
    qToLittleEndian<quint32>(quint32(kTargetRate * channels * 2), p + 28);
    qToLittleEndian<quint16>(quint16(channels * 2), p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    std::memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, p + 40);
    return h;
}

} // namespace

SourceInfo probe(const QString& path)
{
    SourceInfo s;
    SF_INFO info;
    SNDFILE* f = openSound(path, info);
    if (!f) {
        s.problem = sndfileProblem(nullptr);
        return s;
    }
    s.readable = info.channels > 0 && info.samplerate > 0;
    if (!s.readable)
        s.problem = QStringLiteral("no channels or no sample rate");
    s.channels = info.channels;
    s.rate = info.samplerate;
    s.frames = info.frames;
    s.format = info.format;
    sf_close(f);
    return s;
}

bool takenAsIs(const QString& path)
{
    const SourceInfo s = probe(path);
    if (!s.readable)
        return false;
    const int major = s.format & SF_FORMAT_TYPEMASK;
    const int sub = s.format & SF_FORMAT_SUBMASK;
    if ((major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) || (sub != SF_FORMAT_PCM_U8 && sub != SF_FORMAT_PCM_16)
        || s.rate > kTargetRate || (s.channels != 1 && s.channels != 2))
        return false;
    // The view reads its numbers at fixed places: they must be the ones
    // libsndfile found, or the waveform is drawn from the wrong bytes.
    const wav::ReadResult r = wav::readHeader(path);
    return r.problem == wav::Problem::None && r.header.channels == s.channels && r.header.sampleRate == s.rate
           && r.header.bitsPerSample == (sub == SF_FORMAT_PCM_U8 ? 8 : 16);
}

// --- Reading ----------------------------------------------------------------

struct SoundReader::Sndfile {
    SNDFILE* f = nullptr;
    ~Sndfile()
    {
        if (f)
            sf_close(f);
    }
};

struct SoundReader::Resampler {
    soxr_t s = nullptr;
    ~Resampler()
    {
        if (s)
            soxr_delete(s);
    }
};

SoundReader::SoundReader(const QString& path, Channels channels, int rate)
    : m_file(std::make_unique<Sndfile>()), m_mode(channels), m_rate(rate)
{
    SF_INFO info;
    m_file->f = openSound(path, info);
    if (!m_file->f) {
        m_error = sndfileProblem(nullptr);
        return;
    }
    m_info.readable = true;
    m_info.channels = info.channels;
    m_info.rate = info.samplerate;
    m_info.frames = info.frames;
    m_info.format = info.format;
    if (info.channels <= 0 || info.samplerate <= 0) {
        m_error = QStringLiteral("no channels or no sample rate");
        return;
    }
    switch (channels) {
    case Channels::AsSource: m_channels = info.channels >= 2 ? 2 : 1; break;
    case Channels::Stereo: m_channels = 2; break;
    case Channels::Mono: m_channels = 1; break;
    }
    const int sub = info.format & SF_FORMAT_SUBMASK;
    const bool sixteen = sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8;
    m_exact16 = sixteen && info.samplerate == rate && (m_channels == 2 || info.channels == 1);
    if (info.samplerate != rate) {
        m_soxr = std::make_unique<Resampler>();
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        m_soxr->s = soxr_create(info.samplerate, rate, unsigned(m_channels), &error, &io, &quality, nullptr);
        if (error) {
            m_error = QString::fromLatin1(error);
            return;
        }
    }
    m_raw.resize(size_t(kBlock * info.channels));
    m_in.resize(size_t(kBlock * m_channels));
}

SoundReader::~SoundReader() = default;

bool SoundReader::refill()
{
    const int c = m_info.channels;
    const sf_count_t got = sf_readf_float(m_file->f, m_raw.data(), kBlock);
    if (got <= 0)
        return false;
    m_readFrames += got;
    const float* r = m_raw.data();
    float* o = m_in.data();
    for (sf_count_t i = 0; i < got; ++i, r += c) {
        const float a = r[0];
        const float b = c >= 2 ? r[1] : a;
        if (m_channels == 2) {
            *o++ = a;
            *o++ = b;
        } else {
            *o++ = c >= 2 && m_mode == Channels::Mono ? 0.5f * (a + b) : a;
        }
    }
    m_inFrames = got;
    m_inPos = 0;
    return true;
}

qint64 SoundReader::read(float* out, qint64 frames)
{
    if (!ok())
        return 0;
    qint64 done = 0;
    while (done < frames) {
        if (m_inPos == m_inFrames && !m_eof && !refill())
            m_eof = true;
        if (!m_soxr) {
            if (m_inPos == m_inFrames)
                break;
            const qint64 n = std::min(frames - done, m_inFrames - m_inPos);
            std::memcpy(out + done * m_channels, m_in.data() + m_inPos * m_channels,
                        size_t(n * m_channels) * sizeof(float));
            m_inPos += n;
            done += n;
            continue;
        }
        size_t used = 0, made = 0;
        soxr_error_t error = nullptr;
        if (m_eof) {
            if (m_flushed)
                break;
            // No more input: what the filter still holds comes out.
            error = soxr_process(m_soxr->s, nullptr, 0, nullptr, out + done * m_channels, size_t(frames - done), &made);
            if (made == 0)
                m_flushed = true;
        } else {
            error = soxr_process(m_soxr->s, m_in.data() + m_inPos * m_channels, size_t(m_inFrames - m_inPos), &used,
                                 out + done * m_channels, size_t(frames - done), &made);
        }
        if (error) {
            m_error = QString::fromLatin1(error);
            break;
        }
        m_inPos += qint64(used);
        done += qint64(made);
    }
    return done;
}

double SoundReader::fraction() const
{
    return m_info.frames > 0 ? std::min(1.0, double(m_readFrames) / double(m_info.frames)) : 0.0;
}

// --- Dither -------------------------------------------------------------------

quint32 Dither::next()
{
    // xorshift32: cheap, and the same noise on every run.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

qint16 Dither::operator()(float sample)
{
    float v = sample * 32768.0f;
    if (m_enabled) {
        // The difference of two uniform values: triangular over one step
        // either side, which leaves no distortion tied to the signal.
        constexpr float scale = 1.0f / 4294967296.0f;
        v += float(next()) * scale - float(next()) * scale;
    }
    const long q = std::lrint(v);
    return qint16(std::clamp<long>(q, -32768, 32767));
}

// --- Converting -----------------------------------------------------------------

ConvertResult convertFile(const QString& source, const QString& target, const ConvertProgress& progress,
                          SoundReader::Channels channels)
{
    SoundReader reader(source, channels);
    if (!reader.ok())
        return {ConvertStatus::Unreadable, reader.error()};
    const int c = reader.channels();
    const QByteArray trailer = listChunk(stampOf(source, reader.source().rate));

    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return {ConvertStatus::Failed, out.errorString()};
    if (out.write(wavHeader(c, 0, quint32(trailer.size()))) != 44)
        return {ConvertStatus::Failed, out.errorString()};

    Dither dither(!reader.exact16());
    std::vector<float> block(size_t(kBlock * c));
    QByteArray bytes(int(kBlock * c * 2), Qt::Uninitialized);
    qint64 dataBytes = 0;
    for (;;) {
        const qint64 n = reader.read(block.data(), kBlock);
        if (!reader.ok())
            return {ConvertStatus::Unreadable, reader.error()};
        if (n == 0)
            break;
        char* p = bytes.data();
        for (qint64 i = 0; i < n * c; ++i, p += 2)
            qToLittleEndian<qint16>(dither(block[size_t(i)]), p);
        if (out.write(bytes.constData(), n * c * 2) != n * c * 2)
            return {ConvertStatus::Failed, out.errorString()};
        dataBytes += n * c * 2;
        if (dataBytes > kMaxDataBytes)
            return {ConvertStatus::Failed, QStringLiteral("the sound is longer than a WAV file can hold (3 hours)")};
        if (progress && !progress(reader.fraction()))
            return {ConvertStatus::Cancelled, {}}; // QSaveFile drops the temporary file
    }
    if (dataBytes == 0)
        return {ConvertStatus::Unreadable, QStringLiteral("the file holds no samples")};
    if (dataBytes & 1)
        out.write("\0", 1);
    out.write(trailer);
    if (!out.seek(0) || out.write(wavHeader(c, quint32(dataBytes), quint32(trailer.size()))) != 44)
        return {ConvertStatus::Failed, out.errorString()};
    if (!out.commit())
        return {ConvertStatus::Failed, out.errorString()};
    return {ConvertStatus::Done, {}};
}

QString convertedName(const QString& source, const QString& folder)
{
    return QDir(folder).filePath(QFileInfo(source).completeBaseName() + QStringLiteral(" (for MarionetteKit).wav"));
}

bool matchesSource(const QString& converted, const QString& source)
{
    QFile f(converted);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(44);
    if (head.size() != 44 || !head.startsWith("RIFF") || head.mid(36, 4) != "data")
        return false;
    const quint32 data = qFromLittleEndian<quint32>(head.constData() + 40);
    if (!f.seek(44 + qint64(data) + (data & 1)))
        return false;
    const QByteArray list = f.read(512);
    if (!list.startsWith("LIST"))
        return false;
    const qsizetype at = list.indexOf(kStamp);
    if (at < 0)
        return false;
    const QByteArray stamp = list.mid(at, list.indexOf('\0', at) - at);
    const SourceInfo s = probe(source);
    return s.readable && stamp == stampOf(source, s.rate);
}

QString unreadableMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("The file \"%1\" cannot be read as a sound (%2).").arg(wav::bareName(path), reason) + CR
           + QStringLiteral("MarionetteKit reads WAV, AIFF, FLAC, Ogg Vorbis, Opus and MP3 files.") + CR
           + QStringLiteral("Please choose a sound in one of these formats, or save the sound again as one of them.");
}

QString convertedMessage(const QString& source, const QString& converted)
{
    return QStringLiteral("\"%1\" has been converted into a 16-bit WAV at 44.1 kHz, which the project now uses:")
               .arg(wav::bareName(source))
           + CR + QDir::toNativeSeparators(converted) + CR
           + QStringLiteral("Keep that file with the project; the original is not changed.");
}

Prepared prepare(const QString& source, const QString& folder, const ConvertProgress& progress)
{
    if (!QFileInfo(source).isFile() || takenAsIs(source))
        return {Prepared::Status::AsIs, source, {}};
    const SourceInfo info = probe(source);
    if (!info.readable)
        return {Prepared::Status::Refused, {}, unreadableMessage(source, info.problem)};
    const QString where = folder.isEmpty() ? QFileInfo(source).absolutePath() : folder;
    QString target = convertedName(source, where);
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(source).absoluteFilePath())
        target = convertedName(target, where); // never convert a file onto itself
    if (matchesSource(target, source))
        return {Prepared::Status::Reused, target, {}};
    const ConvertResult r = convertFile(source, target, progress);
    switch (r.status) {
    case ConvertStatus::Done: return {Prepared::Status::Converted, target, {}};
    case ConvertStatus::Cancelled: return {Prepared::Status::Cancelled, {}, {}};
    case ConvertStatus::Unreadable: return {Prepared::Status::Refused, {}, unreadableMessage(source, r.detail)};
    case ConvertStatus::Failed: break;
    }
    return {Prepared::Status::Refused, {},
            QStringLiteral("The sound \"%1\" could not be converted into %2 (%3).")
                    .arg(wav::bareName(source), QDir::toNativeSeparators(target), r.detail)
                + CR
                + QStringLiteral("Please check that the folder can be written to and has room, or save the project "
                                 "in another folder.")};
}

} // namespace mk::sound
