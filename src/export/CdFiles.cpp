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
    case QFileDevice::ResourceError: throw RuntimeError(61, "Disk full");
    case QFileDevice::ReadError: throw RuntimeError::deviceIOError();
    default: throw RuntimeError(75, "Path/File access error");
    }
}

InFile::InFile(const QString& path) : m_file(path)
{
    if (!QFileInfo(path).isFile())
        throw RuntimeError(53, "File not found");
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throwFileError(m_file);
    m_size = m_file.size();
}

QByteArray InFile::readAt(qint64 offset, qint64 count)
{
    count = std::clamp<qint64>(m_size - offset, 0, count);
    if (count == 0)
        return {};
    if (!m_file.seek(offset))
        throwFileError(m_file);
    QByteArray bytes = m_file.read(count);
    if (bytes.size() != count)
        throw RuntimeError::deviceIOError();
    return bytes;
}

void InFile::seek(qint64 offset)
{
    m_pos = offset;
    m_buffer.clear();
    m_bufferOffset = offset;
}

const uchar* InFile::next(int bytes)
{
    if (m_pos + bytes > m_bufferOffset + m_buffer.size()) {
        if (m_pos + bytes > m_size)
            throw RuntimeError(62, "Input past end of file");
        m_buffer = readAt(m_pos, std::max<qint64>(kReadBlock, bytes));
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
    m_buffer.reserve(kBuffer + 64);
}

OutFile::~OutFile()
{
    if (m_file.isOpen() && !m_buffer.isEmpty())
        m_file.write(m_buffer);
}

void OutFile::append(const QByteArray& bytes)
{
    if (m_buffer.size() + bytes.size() > kBuffer)
        flush();
    if (bytes.size() > kBuffer) {
        if (m_file.write(bytes) != bytes.size())
            throwFileError(m_file);
        m_written += bytes.size();
        return;
    }
    m_buffer.append(bytes);
}

void OutFile::appendZeros(qint64 count)
{
    const QByteArray zeros(qsizetype(std::min<qint64>(count, kBuffer)), '\0');
    for (; count > 0; count -= zeros.size())
        append(count >= zeros.size() ? zeros : zeros.left(count));
}

void OutFile::flush()
{
    if (m_buffer.isEmpty())
        return;
    if (m_file.write(m_buffer) != m_buffer.size())
        throwFileError(m_file);
    m_written += m_buffer.size();
    m_buffer.clear();
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
        throw RuntimeError(53, "File not found");
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throwFileError(m_file);
}

QByteArray PatchFile::readAt(qint64 offset, qint64 count)
{
    count = std::clamp<qint64>(m_file.size() - offset, 0, count);
    if (count == 0)
        return {};
    if (!m_file.seek(offset))
        throwFileError(m_file);
    QByteArray bytes = m_file.read(count);
    if (bytes.size() != count)
        throw RuntimeError::deviceIOError();
    return bytes;
}

void PatchFile::writeAt(qint64 offset, const QByteArray& bytes)
{
    if (offset > m_file.size() && !m_file.resize(offset))
        throwFileError(m_file);
    if (!m_file.seek(offset) || m_file.write(bytes) != bytes.size())
        throwFileError(m_file);
}

void PatchFile::close()
{
    m_file.close();
}

} // namespace mk::cd
