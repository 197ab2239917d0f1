#include "export/CdFiles.h"

#include <QFileInfo>

#include <algorithm>

#include "platform/RuntimeError.h"

namespace mk::cd {

namespace {
constexpr qint64 kReadBlock = 1 << 16;
}

void throwFileError(const QFileDevice& file)
{
    switch (file.error()) {
    case QFileDevice::ResourceError: throw RuntimeError::diskFull();
    case QFileDevice::ReadError: throw RuntimeError::deviceIOError();
    default: throw RuntimeError::pathFileAccess();
    }
}

InFile::InFile(const QString& path) : m_file(path)
{
    if (!QFileInfo(path).isFile())
        throw RuntimeError::fileNotFound();
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throwFileError(m_file);
    m_size = m_file.size();
}

namespace {

qint64 readFrom(QFile& file, qint64 size, qint64 offset, char* to, qint64 count)
{
    count = std::clamp<qint64>(size - offset, 0, count);
    if (count == 0)
        return 0;
    if (!file.seek(offset))
        throwFileError(file);
    if (file.read(to, count) != count)
        throw RuntimeError::deviceIOError();
    return count;
}

} // namespace

QByteArray InFile::readAt(qint64 offset, qint64 count)
{
    QByteArray bytes(qsizetype(std::clamp<qint64>(m_size - offset, 0, count)), Qt::Uninitialized);
    readInto(offset, bytes.data(), bytes.size());
    return bytes;
}

qint64 InFile::readInto(qint64 offset, char* to, qint64 count)
{
    return readFrom(m_file, m_size, offset, to, count);
}

void InFile::seek(qint64 offset)
{
    m_pos = offset;
    m_buffered = 0;
    m_bufferOffset = offset;
}

const uchar* InFile::next(int bytes)
{
    if (m_pos + bytes > m_bufferOffset + m_buffered) {
        if (m_pos + bytes > m_size)
            throw RuntimeError::inputPastEnd();
        if (m_buffer.size() < kReadBlock)
            m_buffer.resize(kReadBlock);
        m_buffered = readInto(m_pos, m_buffer.data(), kReadBlock);
        m_bufferOffset = m_pos;
    }
    const auto* p = reinterpret_cast<const uchar*>(m_buffer.constData()) + (m_pos - m_bufferOffset);
    m_pos += bytes;
    return p;
}

OutFile::OutFile(const QString& path) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throwFileError(m_file);
    m_buffer.resize(kBuffer);
}

OutFile::~OutFile()
{
    if (m_file.isOpen() && m_used > 0)
        m_file.write(m_buffer.constData(), m_used);
}

void OutFile::append(const char* bytes, qint64 count)
{
    if (m_used + count > kBuffer)
        flush();
    if (count > kBuffer) {
        if (m_file.write(bytes, count) != count)
            throwFileError(m_file);
        m_written += count;
        return;
    }
    memcpy(m_buffer.data() + m_used, bytes, size_t(count));
    m_used += count;
}

void OutFile::appendZeros(qint64 count)
{
    while (count > 0) {
        if (m_used == kBuffer)
            flush();
        const qint64 n = std::min<qint64>(count, kBuffer - m_used);
        memset(m_buffer.data() + m_used, 0, size_t(n));
        m_used += n;
        count -= n;
    }
}

void OutFile::flush()
{
    if (m_used == 0)
        return;
    if (m_file.write(m_buffer.constData(), m_used) != m_used)
        throwFileError(m_file);
    m_written += m_used;
    m_used = 0;
}

void OutFile::writeLe32At(qint64 offset, quint32 v)
{
    flush();
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    if (!m_file.seek(offset) || m_file.write(b, 4) != 4 || !m_file.seek(m_written))
        throwFileError(m_file);
}

void OutFile::close()
{
    flush();
    m_file.close();
}

PatchFile::PatchFile(const QString& path) : m_file(path)
{
    if (!QFileInfo(path).isFile())
        throw RuntimeError::fileNotFound();
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throwFileError(m_file);
}

QByteArray PatchFile::readAt(qint64 offset, qint64 count)
{
    QByteArray bytes(qsizetype(std::clamp<qint64>(m_file.size() - offset, 0, count)), Qt::Uninitialized);
    readInto(offset, bytes.data(), bytes.size());
    return bytes;
}

qint64 PatchFile::readInto(qint64 offset, char* to, qint64 count)
{
    return readFrom(m_file, m_file.size(), offset, to, count);
}

void PatchFile::writeAt(qint64 offset, const char* bytes, qint64 count)
{
    if (offset > m_file.size() && !m_file.resize(offset))
        throwFileError(m_file);
    if (!m_file.seek(offset) || m_file.write(bytes, count) != count)
        throwFileError(m_file);
}

void PatchFile::close()
{
    m_file.close();
}

} // namespace mk::cd
