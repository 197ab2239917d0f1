#pragma once
// WAV files written byte by byte, so that tests can build any layout: odd
// chunk orders, wrong counts, truncated headers.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <initializer_list>

namespace testwav {

template <class T>
QByteArray littleEndian(T v)
{
    QByteArray b(sizeof v, 0);
    qToLittleEndian<T>(v, b.data());
    return b;
}
inline QByteArray le16(qint16 v) { return littleEndian(v); }
inline QByteArray le32(quint32 v) { return littleEndian(v); }

inline QByteArray chunk(const char* tag, const QByteArray& payload)
{
    return QByteArray(tag, 4) + le32(quint32(payload.size())) + payload;
}

/// "fmt " chunk of format `code` (1: PCM), its 16 bytes followed by `extra`.
inline QByteArray fmt(qint16 channels, qint32 rate, qint16 bits, const QByteArray& extra, quint16 code = 1)
{
    const qint16 align = qint16(channels * (bits / 8));
    return chunk("fmt ", le16(qint16(code)) + le16(channels) + le32(quint32(rate)) + le32(quint32(rate * align))
                             + le16(align) + le16(bits) + extra);
}

/// "fmt " chunk of 16 + extra zero bytes.
inline QByteArray fmt(qint16 channels, qint32 rate, qint16 bits, int extra = 0)
{
    return fmt(channels, rate, bits, QByteArray(extra, 0));
}

/// 16-bit samples.
template <class Range>
QByteArray pcm16(const Range& values)
{
    QByteArray out;
    for (const auto v : values)
        out += le16(qint16(v));
    return out;
}

inline QByteArray pcm16(std::initializer_list<int> values) { return pcm16<std::initializer_list<int>>(values); }

/// "data" chunk whose count may differ from the bytes that follow.
inline QByteArray data(const QByteArray& samples, qint64 declared = -1)
{
    return QByteArray("data") + le32(quint32(declared < 0 ? samples.size() : declared)) + samples;
}

inline QByteArray riff(const QByteArray& body)
{
    return QByteArray("RIFF") + le32(quint32(body.size() + 4)) + QByteArray("WAVE") + body;
}

/// Canonical 44-byte header followed by the samples.
inline QByteArray canonical(qint16 channels, qint32 rate, qint16 bits, const QByteArray& samples,
                            qint64 declared = -1)
{
    return riff(fmt(channels, rate, bits) + data(samples, declared));
}

/// An unrelated chunk that pushes the "data" tag to 1-based position `p`
/// (after a 16-byte "fmt " chunk), with a count that may differ from the samples.
inline QByteArray dataAt(qint32 p, const QByteArray& samples, qint64 declared = -1)
{
    const int junk = p - 1 - 36 - 8;
    return riff(fmt(2, 44100, 16) + chunk("junk", QByteArray(junk, 'j')) + data(samples, declared));
}

inline bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace testwav
