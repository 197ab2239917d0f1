#pragma once
// Buffered file access for the export: many small values go in and out, but
// the disk sees large blocks. Every failure is an mk::RuntimeError with the
// number users know it by (53 file not found, 75 path/file access error,
// 61 disk full, 62 input past end of file).
#include <QByteArray>
#include <QFile>
#include <QString>

namespace mk::cd {

/// A file read in blocks; never reads past its end.
class InFile {
public:
    explicit InFile(const QString& path);
    qint64 size() const { return m_size; }
    /// Up to `count` bytes from `offset`; fewer at the end of the file.
    QByteArray readAt(qint64 offset, qint64 count);
    /// As readAt, into `to`; returns the number of bytes read.
    qint64 readInto(qint64 offset, char* to, qint64 count);
    /// Where next() starts.
    void seek(qint64 offset);
    /// The next `bytes` bytes (at most 64); error 62 past the end.
    const uchar* next(int bytes);

private:
    QFile m_file;
    qint64 m_size = 0;
    QByteArray m_buffer;
    qint64 m_buffered = 0;     ///< bytes of m_buffer holding file data
    qint64 m_bufferOffset = 0; ///< file offset of m_buffer[0]
    qint64 m_pos = 0;          ///< file offset of the next next()
};

/// A new file written from the front through a buffer.
class OutFile {
public:
    explicit OutFile(const QString& path);
    /// Writes what is buffered; never throws (the file may be incomplete).
    ~OutFile();
    void append(const char* bytes, qint64 count);
    void append(const QByteArray& bytes) { append(bytes.constData(), bytes.size()); }
    void appendZeros(qint64 count);
    void appendLe16(qint16 v)
    {
        if (m_used + 2 > kBuffer)
            flush();
        char* b = m_buffer.data() + m_used;
        b[0] = char(quint16(v) & 0xFF);
        b[1] = char(quint16(v) >> 8);
        m_used += 2;
    }
    void flush();
    /// Bytes written so far, buffered ones included.
    qint64 size() const { return m_written + m_used; }
    /// Writes over bytes already written (flushes first).
    void writeLe32At(qint64 offset, quint32 v);
    void close();

private:
    static constexpr qsizetype kBuffer = 1 << 18;
    QFile m_file;
    QByteArray m_buffer; ///< kBuffer bytes, of which m_used are waiting
    qint64 m_used = 0;
    qint64 m_written = 0;
};

/// An existing file read and patched in place, block by block.
class PatchFile {
public:
    explicit PatchFile(const QString& path);
    qint64 size() const { return m_file.size(); }
    QByteArray readAt(qint64 offset, qint64 count);
    /// As readAt, into `to`; returns the number of bytes read.
    qint64 readInto(qint64 offset, char* to, qint64 count);
    /// Writes at `offset`; a gap up to it is filled with zeros.
    void writeAt(qint64 offset, const QByteArray& bytes) { writeAt(offset, bytes.constData(), bytes.size()); }
    void writeAt(qint64 offset, const char* bytes, qint64 count);
    void close();

private:
    QFile m_file;
};

/// Throws the error for a failed operation on `file`.
[[noreturn]] void throwFileError(const QFileDevice& file);

} // namespace mk::cd
