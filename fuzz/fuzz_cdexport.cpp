// The CD export's reading of a sound, on any bytes as the sound: the format
// check, then the direct copy or the resampler, then a three-frame servo
// stream. It must end with a message or with a complete file, never crash and
// never read past the end of the sound.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "export/CdExport.h"
#include "platform/RuntimeError.h"

namespace {

QTemporaryDir* scratch = nullptr;

/// Stops an export whose output grows past a few megabytes: a very low
/// sample rate turns a small sound into a long file, which proves nothing more.
struct CappedProgress : mk::cd::Progress {
    QString out;
    bool cancelled() override { return QFileInfo(out).size() > (4 << 20); }
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_cdexport: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!scratch)
        scratch = new QTemporaryDir;
    const QString sound = scratch->filePath("sound.wav");
    const QString out = scratch->filePath("cd.wav");
    QFile::remove(out);
    {
        QFile f(sound);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the input");
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    try {
        (void)mk::cd::checkSoundFormat(sound);
    } catch (const mk::RuntimeError&) {
        fail("the format check failed on a readable file");
    }

    const QByteArray message = QByteArray::fromHex("FF0080FF0180FF0280FF0380FF0480FF0580FF0680FF0780");
    CappedProgress progress;
    progress.out = out;
    const auto r = mk::cd::exportForCd(sound, out, 2, [&](qint32) { return message; }, progress);

    using Status = mk::cd::ExportResult::Status;
    if (r.status == Status::Complete) {
        if (r.message)
            fail("a complete export with a message");
        QFile f(out);
        if (!f.open(QIODevice::ReadOnly))
            fail("a complete export without its file");
        const QByteArray head = f.read(44);
        const quint32 dataLength = (44100 + 3 * 1470) * 4;
        if (head.size() != 44 || !head.startsWith("RIFF") || head.mid(8, 8) != "WAVEfmt "
            || qFromLittleEndian<quint32>(head.constData() + 40) != dataLength
            || qFromLittleEndian<quint32>(head.constData() + 4) != dataLength + 36
            || f.size() < 44 + qint64(dataLength))
            fail("a complete export with a wrong header or length");
    } else {
        if (!r.message || r.message->text.isEmpty())
            fail("an unfinished export without a message");
        // Every read is bounded by the file; running past it is a fault here.
        if (r.message->text.contains(QLatin1String("Input past end of file")))
            fail("read past the end of the sound");
        if (r.status == Status::Failed && r.message->title == QLatin1String("Export Error"))
            fail(qPrintable(r.message->text));
    }
    return 0;
}
