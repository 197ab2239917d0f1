#include "project/ProjectFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <array>

namespace mk::project {

QByteArray formatName() { return QByteArrayLiteral("MarionetteKit"); }
QByteArray endMarker() { return QByteArrayLiteral("01234567890FINISHED0123456789"); }
QString noSound() { return QStringLiteral("noSound"); }
QString notPreviouslySaved() { return QStringLiteral("not previously saved"); }

namespace {

// --- Windows-1252 -------------------------------------------------------------

// 0x80..0x9F; the five holes map to the C1 controls, as Windows does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t fromCp1252(uchar c)
{
    return (c >= 0x80 && c <= 0x9F) ? kHigh[c - 0x80] : char16_t(c);
}

bool toCp1252(QChar ch, char& out)
{
    const char16_t u = ch.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        out = char(u);
        return true;
    }
    for (size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == u) {
            out = char(0x80 + i);
            return true;
        }
    }
    return false;
}

bool isValidUtf8(QByteArrayView b)
{
    qsizetype i = 0;
    const qsizetype n = b.size();
    while (i < n) {
        const uchar c = uchar(b[i]);
        int more;
        char32_t cp;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { more = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { more = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { more = 3; cp = c & 0x07; }
        else return false;
        if (i + more >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            const uchar d = uchar(b[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

// --- Little-endian output --------------------------------------------------------

void putInt16(QByteArray& b, qint16 v)
{
    char raw[2];
    qToLittleEndian(v, raw);
    b.append(raw, 2);
}

void putInt32(QByteArray& b, qint32 v)
{
    char raw[4];
    qToLittleEndian(v, raw);
    b.append(raw, 4);
}

void putBool(QByteArray& b, bool v) { putInt16(b, v ? qint16(-1) : qint16(0)); }

qint16 int16At(const char* p) { return qFromLittleEndian<qint16>(p); }
qint32 int32At(const char* p) { return qFromLittleEndian<qint32>(p); }

Error inputPastEnd(const QString& where)
{
    return {62, QStringLiteral("Input past end of file: the file ends in %1").arg(where)};
}

ReadResult failed(Error e)
{
    ReadResult r;
    r.status = ReadResult::Status::Failed;
    r.error = std::move(e);
    return r;
}

Error deviceError(int number, const QString& description, const QString& detail)
{
    return {number, detail.isEmpty() ? description : description + QStringLiteral(": ") + detail};
}

} // namespace

QByteArray encodeText(const QString& text, int width, bool* cut)
{
    QByteArray out;
    out.reserve(width);
    bool single = true;
    bool high = false;
    for (const QChar ch : text) {
        char c;
        if (!toCp1252(ch, c)) {
            single = false;
            break;
        }
        high = high || uchar(c) >= 0x80;
        out.append(c);
    }
    // Windows-1252 bytes that happen to be valid UTF-8 ("Ã©" is C3 A9) would
    // read back as other characters; such a text is written as UTF-8.
    if (single && high && isValidUtf8(QByteArrayView(out).first(std::min<qsizetype>(out.size(), width))))
        single = false;
    if (!single) {
        // Whole characters only: a cut must not leave half a character that
        // would make the field read as Windows-1252 garbage.
        out.clear();
        for (qsizetype i = 0; i < text.size();) {
            const qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size()
                                   && text[i + 1].isLowSurrogate()) ? 2 : 1;
            const QByteArray piece = text.mid(i, len).toUtf8();
            if (out.size() + piece.size() > width)
                break;
            out.append(piece);
            i += len;
        }
        if (cut)
            *cut = out.size() < text.toUtf8().size();
    } else if (cut) {
        *cut = out.size() > width;
    }
    out.truncate(width);
    out.append(QByteArray(width - out.size(), ' '));
    return out;
}

QString decodeText(QByteArrayView field)
{
    if (isValidUtf8(field))
        return QString::fromUtf8(field);
    QString s;
    s.reserve(field.size());
    for (const char c : field)
        s.append(QChar(fromCp1252(uchar(c))));
    return s;
}

QString withoutPadding(const QString& name)
{
    qsizetype end = name.size();
    while (end > 0 && name.at(end - 1) == QLatin1Char(' '))
        --end;
    return name.left(end);
}

QString soundPathFor(const QString& storedName, const QString& projectPath)
{
    const QString stored = storedName.trimmed();
    if (stored == noSound() || stored.isEmpty() || QFileInfo(stored).isFile())
        return stored;
    const QString base = QString(stored).replace(QLatin1Char('\\'), QLatin1Char('/')).section(QLatin1Char('/'), -1);
    if (base.isEmpty())
        return stored;
    const QString beside = QFileInfo(projectPath).absoluteDir().filePath(base);
    return QFileInfo(beside).isFile() ? beside : stored;
}

// --- Reading -------------------------------------------------------------------

ReadResult read(QIODevice& in)
{
    const QByteArray name = in.read(kFormatNameSize);
    if (name != formatName()) {
        ReadResult r;
        r.status = ReadResult::Status::NotAProject;
        return r;
    }
    QByteArray head = in.read(kHeaderSize - kFormatNameSize);
    if (head.size() < kHeaderSize - kFormatNameSize)
        return failed(inputPastEnd(QStringLiteral("the header")));

    Project p;
    p.version = head.left(2);
    p.frameCount = int32At(head.constData() + 2);
    p.frameRate = quint8(head[6]);
    const int n = quint8(head[7]);
    const qint32 f = p.frameCount;
    if (f < 0)
        return failed({321, QStringLiteral("Invalid file format: the frame count is %1").arg(f)});
    if (n > kMaxLastServoIndex)
        return failed({9, QStringLiteral("Subscript out of range: the file has %1 servo tracks, MarionetteKit has %2")
                              .arg(n + 1).arg(kMaxLastServoIndex + 1)});
    p.lastServoIndex = quint8(n);

    // Check the length against every field before anything is allocated, so a
    // damaged frame count cannot ask for memory the file does not back.
    const qint64 tracks = n + 1;
    const qint64 column = 2 * (qint64(f) + 1);
    const qint64 recordsEnd = kHeaderSize + kServoRecordSize * tracks;
    const qint64 nameEnd = recordsEnd + kSoundNameSize;
    const qint64 positionsEnd = nameEnd + column * tracks;
    const qint64 trailerEnd = positionsEnd + kTrailerSize;
    const qint64 size = in.isSequential() ? -1 : in.size();
    if (f > ServoTrack::kMaxFrames) {
        // A count beyond any show is a damaged header far more often than a
        // file of gigabytes: say that first when the file cannot back it.
        if (size >= 0 && size < trailerEnd)
            return failed({321, QStringLiteral("Invalid file format: the file is too short for its frame count "
                                               "(%1 frames need %2 bytes, the file has %3)")
                                    .arg(f).arg(trailerEnd).arg(size)});
        return failed({7, QStringLiteral("Out of memory: %1 frames are more than a track can hold (%2)")
                              .arg(f).arg(ServoTrack::kMaxFrames)});
    }
    if (size >= 0 && size < trailerEnd) {
        if (size < recordsEnd)
            return failed(inputPastEnd(
                QStringLiteral("the record of servo %1").arg((size - kHeaderSize) / kServoRecordSize)));
        if (size < nameEnd)
            return failed(inputPastEnd(QStringLiteral("the sound file name")));
        if (size < positionsEnd)
            return failed(inputPastEnd(QStringLiteral("the positions of servo %1").arg((size - nameEnd) / column)));
        return failed(inputPastEnd(QStringLiteral("the countdown settings")));
    }

    const QByteArray records = in.read(recordsEnd - kHeaderSize);
    if (records.size() < recordsEnd - kHeaderSize)
        return failed(inputPastEnd(QStringLiteral("the record of servo %1").arg(records.size() / kServoRecordSize)));
    for (int i = 0; i < tracks; ++i) {
        const char* r = records.constData() + i * kServoRecordSize;
        ServoRecord s;
        s.active = int16At(r) != 0;
        s.deviceType = quint8(r[2]);
        s.minValue = int16At(r + 3);
        s.maxValue = int16At(r + 5);
        s.reversed = int16At(r + 7) != 0;
        s.name = decodeText(QByteArrayView(r + 9, kServoNameSize));
        p.servos.push_back(std::move(s));
    }
    const QByteArray sound = in.read(kSoundNameSize);
    if (sound.size() < kSoundNameSize)
        return failed(inputPastEnd(QStringLiteral("the sound file name")));
    p.soundName = decodeText(sound);

    p.positions.resize(size_t(tracks));
    QByteArray block;
    for (int i = 0; i < tracks; ++i) {
        block = in.read(column);
        if (block.size() < column)
            return failed(inputPastEnd(QStringLiteral("the positions of servo %1").arg(i)));
        auto& out = p.positions[size_t(i)];
        out.resize(size_t(f) + 1);
        // Only the low byte of each entry counts.
        const char* src = block.constData();
        for (size_t k = 0; k < out.size(); ++k)
            out[k] = qint16(uchar(src[2 * k]));
    }
    const QByteArray trailer = in.read(kTrailerSize);
    if (trailer.size() < kTrailerSize)
        return failed(inputPastEnd(QStringLiteral("the countdown settings")));
    p.countdownDuration = int16At(trailer.constData());
    p.countdownEnabled = int16At(trailer.constData() + 2) != 0;
    p.hasEndMarker = in.read(kEndMarkerSize) == endMarker();

    ReadResult r;
    r.status = ReadResult::Status::Ok;
    r.project = std::move(p);
    return r;
}

ReadResult read(const QByteArray& bytes)
{
    QByteArray copy = bytes; // shares the data; QBuffer wants a non-const array
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer);
}

ReadResult readFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return failed({53, QStringLiteral("File not found: %1").arg(path)});
    // Opening a pipe waits for a writer, a device may wait for anything.
    if (!QFileInfo(path).isFile())
        return failed({75, QStringLiteral("Path/File access error: %1 is not a project file but a folder, device "
                                          "or pipe; choose a .pjt file")
                               .arg(path)});
    if (!file.open(QIODevice::ReadOnly))
        return failed(deviceError(75, QStringLiteral("Path/File access error"), file.errorString()));
    ReadResult r = read(file);
    if (r.status == ReadResult::Status::Failed && file.error() != QFileDevice::NoError)
        r.error = deviceError(57, QStringLiteral("Device I/O error"), file.errorString());
    return r;
}

// --- Writing -------------------------------------------------------------------

namespace {

constexpr qint64 kBlockPositions = kProgressStep;

/// Flushes while bytes go out. A write the disk takes only part of fails
/// without a reason; the next try, of which nothing goes through, carries the
/// system's ("No space left on device").
bool flushAll(QFileDevice& file)
{
    qint64 pending = file.bytesToWrite();
    while (!file.flush()) {
        if (file.bytesToWrite() >= pending)
            return false;
        pending = file.bytesToWrite();
    }
    return true;
}

Error writeError(QIODevice& out)
{
    if (auto* file = qobject_cast<QFileDevice*>(&out))
        flushAll(*file);
    return deviceError(57, QStringLiteral("Device I/O error"), out.errorString());
}

} // namespace

WriteResult write(QIODevice& out, const Project& p, const Progress& progress)
{
    WriteResult result;
    const size_t tracks = size_t(p.lastServoIndex) + 1;
    bool shapeOk = p.frameCount >= 0 && p.version.size() == 2 && p.servos.size() == tracks
        && p.positions.size() == tracks;
    for (size_t i = 0; shapeOk && i < tracks; ++i)
        shapeOk = p.positions[i].size() == size_t(p.frameCount) + 1;
    if (!shapeOk) {
        result.error = {9, QStringLiteral("Subscript out of range")};
        return result;
    }

    QByteArray head;
    head.reserve(kHeaderSize + kServoRecordSize * int(tracks) + kSoundNameSize);
    head.append(formatName());
    head.append(p.version);
    putInt32(head, p.frameCount);
    head.append(char(p.frameRate));
    head.append(char(p.lastServoIndex));
    for (const ServoRecord& s : p.servos) {
        putBool(head, s.active);
        head.append(char(s.deviceType));
        putInt16(head, s.minValue);
        putInt16(head, s.maxValue);
        putBool(head, s.reversed);
        head.append(encodeText(s.name, kServoNameSize));
    }
    head.append(encodeText(p.soundName, kSoundNameSize, &result.soundNameCut));
    if (out.write(head) != head.size()) {
        result.error = writeError(out);
        return result;
    }

    QByteArray block;
    block.reserve(2 * kBlockPositions);
    for (size_t i = 0; i < tracks; ++i) {
        const auto& column = p.positions[i];
        const qint64 count = qint64(column.size());
        // Blocks end just after each index that is a multiple of the progress
        // step, so progress is reported exactly at k = 0, 200, 400, ...
        qint64 k = 0;
        while (k < count) {
            const qint64 end = std::min(count, k == 0 ? 1 : k + kBlockPositions);
            block.resize(2 * (end - k));
            char* dst = block.data();
            for (qint64 j = k; j < end; ++j, dst += 2)
                qToLittleEndian(column[size_t(j)], dst);
            if (out.write(block) != block.size()) {
                result.error = writeError(out);
                return result;
            }
            if (progress && (end - 1) % kBlockPositions == 0)
                progress(int(i), qint32(end - 1));
            k = end;
        }
    }
    QByteArray tail;
    putInt16(tail, p.countdownDuration);
    putBool(tail, p.countdownEnabled);
    if (p.hasEndMarker)
        tail.append(endMarker());
    if (out.write(tail) != tail.size()) {
        result.error = writeError(out);
        return result;
    }
    result.ok = true;
    return result;
}

WriteResult saveFile(const QString& path, const Project& project, const Progress& progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        WriteResult r;
        r.error = deviceError(file.error() == QFileDevice::PermissionsError ? 70 : 75,
                              file.error() == QFileDevice::PermissionsError ? QStringLiteral("Permission denied")
                                                                            : QStringLiteral("Path/File access error"),
                              file.errorString());
        return r;
    }
    WriteResult r = write(file, project, progress);
    if (!r.ok) {
        file.cancelWriting();
        return r;
    }
    // What is still buffered goes out here, where a full disk is reported with
    // its reason; commit() would only say that it failed.
    if (!flushAll(file)) {
        r.ok = false;
        r.error = writeError(file);
        file.cancelWriting();
        return r;
    }
    if (!file.commit()) {
        r.ok = false;
        r.error = deviceError(57, QStringLiteral("Device I/O error"), file.errorString());
    }
    return r;
}

QByteArray encode(const Project& project, WriteResult* result)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const WriteResult r = write(buffer, project);
    if (result)
        *result = r;
    return r.ok ? bytes : QByteArray();
}

} // namespace mk::project
