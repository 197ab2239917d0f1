// How long one redraw of the waveform view takes for a minute and for an hour
// of 16-bit stereo 44.1 kHz sound, over the whole sound and zoomed in.
// A redraw reads about a thousand single bytes from the file and draws them;
// it should stay well under a 60 Hz frame (16 ms).
//
// Run: bench_wave [--cold]
//   --cold also measures redraws with the file's pages dropped from the page
//   cache before each one (every byte comes from the disk).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/SoundService.h"
#include "platform/TickSource.h"
#include "sound/graphWindow.h"

namespace {

struct SilentSound : mk::SoundService {
    qint32 ms = 0;
    int length(const QString&, qint32& out) override { out = ms; return NoError; }
    int play(const QString&, qint32, qint32, bool) override { return NoError; }
    int stop(const QString&) override { return NoError; }
};

QByteArray header(quint32 dataBytes)
{
    QByteArray h(44, 0);
    char* p = h.data();
    memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(dataBytes + 36, p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(2, p + 22);
    qToLittleEndian<quint32>(44100, p + 24);
    qToLittleEndian<quint32>(44100 * 4, p + 28);
    qToLittleEndian<quint16>(4, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, p + 40);
    return h;
}

/// Writes `seconds` of a 440 Hz tone, or (sparse) only the header and a hole.
bool makeWav(const QString& path, int seconds, bool sparse)
{
    const quint32 bytes = quint32(seconds) * 44100u * 4u;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(header(bytes)) != 44)
        return false;
    if (sparse)
        return f.resize(44 + qint64(bytes));
    std::vector<qint16> block(44100 * 2);
    for (int i = 0; i < 44100; ++i)
        block[2 * i] = block[2 * i + 1] = qint16(12000 * std::sin(2 * M_PI * 440 * i / 44100.0));
    for (int s = 0; s < seconds; ++s)
        if (f.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * 2)) != qint64(block.size() * 2))
            return false;
    f.flush();
    ::fsync(f.handle()); // so that --cold can drop the pages
    return true;
}

void dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void measure(graphWindow& view, const char* what, bool cold)
{
    constexpr int runs = 20;
    std::vector<double> ms;
    view.reDraw(); // warm-up
    for (int i = 0; i < runs; ++i) {
        if (cold)
            dropFromCache(view.cFileName());
        QElapsedTimer t;
        t.start();
        view.reDraw();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-34s p50 %7.3f ms   max %7.3f ms\n", what, ms[runs / 2], ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const bool cold = app.arguments().contains(QStringLiteral("--cold"));

    QTemporaryDir dir;
    struct Case {
        const char* name;
        int seconds;
        bool sparse;
    };
    const Case cases[] = {{"1 minute", 60, false}, {"1 hour (sparse file)", 3600, true}, {"1 hour", 3600, false}};

    mk::ManualTickSource ticks;
    mk::ScriptedDialogs dialogs;
    SilentSound sound;
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("%1.wav").arg(c.seconds) + (c.sparse ? "s" : ""));
        QElapsedTimer made;
        made.start();
        if (!makeWav(path, c.seconds, c.sparse)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s, 16-bit stereo 44.1 kHz (%lld bytes, written in %lld ms), view 1000 x 256 px\n", c.name,
                    QFile(path).size(), made.elapsed());

        graphWindow view(ticks, dialogs, sound);
        view.resize(1000, 256);
        sound.ms = c.seconds * 1000;
        QElapsedTimer load;
        load.start();
        view.setcFileName(path);
        std::printf("  %-34s %7.3f ms\n", "load (header, measure, redraw)", load.nsecsElapsed() / 1e6);

        for (bool dropped : {false, true}) {
            if (dropped && (!cold || c.sparse))
                continue;
            const char* suffix = dropped ? ", cold cache" : "";
            view.setczoom(1000);
            measure(view, qPrintable(QStringLiteral("whole sound%1").arg(suffix)), dropped);
            view.setczoom(10);
            measure(view, qPrintable(QStringLiteral("czoom 10%1").arg(suffix)), dropped);
            view.setczoom(1);
            measure(view, qPrintable(QStringLiteral("czoom 1%1").arg(suffix)), dropped);
        }
        if (!dialogs.messages.isEmpty())
            std::printf("  (messages shown: %lld)\n", qint64(dialogs.messages.size()));
        QFile::remove(path);
    }
    return 0;
}
