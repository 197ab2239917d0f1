// The WAV header reader: where the samples lie, how long, how the format is described; well-formed and damaged files.
#include <QTemporaryDir>
#include <QTest>

#include "TestWav.h"
#include "sound/WavReader.h"

using mk::wav::Problem;
using namespace testwav;

Q_DECLARE_METATYPE(mk::wav::Problem)

class tst_WavReader : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void readHeader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<QString>("header"); // start, length, end, zoom centre, caption
        const auto good = [](const char* name, const QByteArray& bytes, const char* header) {
            QTest::newRow(name) << bytes << Problem::None << QString(header);
        };
        const auto bad = [](const char* name, const QByteArray& bytes, Problem p) {
            QTest::newRow(name) << bytes << p << QString();
        };
        const QByteArray few(8, '\x10');
        good("canonical 16-bit stereo", canonical(2, 44100, 16, few, 617400),
             "45 617400 617355 308700 16bit  stereo   44.1kHz   3.5seconds");
        good("8-bit mono, centre ties to even", canonical(1, 22050, 8, QByteArray(11025, '\x80')),
             "45 11025 10980 5512 8bit  mono   22.05kHz   0.5seconds");
        good("fmt chunk of 18 bytes", riff(fmt(2, 44100, 16, 2) + data(few, 176400)),
             "47 176400 176353 88200 16bit  stereo   44.1kHz   1seconds");
        good("data tag at position 10000", dataAt(10000, few),
             "10008 8 -10000 4 16bit  stereo   44.1kHz   0.000045351473seconds");
        good("data tag at position 10000, the count's last byte", dataAt(10000, few, 0x01000008),
             "10008 16777224 16767216 8388612 16bit  stereo   44.1kHz   95.10898seconds");
        bad("data tag at position 10001", dataAt(10001, few), Problem::NoDataTag);
        good("data inside an earlier chunk",
             riff(fmt(1, 1000, 8) + chunk("LIST", QByteArray("xxdata") + le32(1000) + "yy") + data(few)),
             "55 1000 945 500 8bit  mono   1kHz   1seconds");
        bad("not RIFF", QByteArray("RIFX").append(canonical(2, 44100, 16, few).mid(4)), Problem::NotRiff);
        bad("empty file", QByteArray(), Problem::NotRiff);
        bad("truncated after 14 bytes", QByteArray("RIFF\x10\x00\x00\x00WAVEfm", 14), Problem::NoDataTag);
        bad("byte count cut off", riff(fmt(1, 1000, 8)) + QByteArray("data\x10\x00", 6), Problem::NoSamples);
        bad("no samples", canonical(1, 8000, 8, QByteArray()), Problem::NoSamples);
        bad("count, but the file ends", canonical(1, 8000, 8, QByteArray(), 100), Problem::NoSamples);
        good("zero sample rate", canonical(2, 0, 16, few, 1000), "45 1000 955 500 16bit  stereo   0kHz   0seconds");
        good("zero channels", canonical(0, 44100, 16, few, 176400),
             "45 176400 176355 88200 16bit  unknown number of channels   44.1kHz   0seconds");
        good("24-bit counts one byte per sample", canonical(2, 44100, 24, few, 264600),
             "45 264600 264555 132300 24bit  stereo   44.1kHz   3seconds");
        good("third of a second, float text", canonical(1, 3000, 8, few, 1000),
             "45 1000 955 500 8bit  mono   3kHz   0.33333334seconds");
        good("unknown count takes what the file holds", canonical(2, 44100, 16, QByteArray(1000, 0), 0xFFFFFFFFLL),
             "45 1000 955 500 16bit  stereo   44.1kHz   0.0056689344seconds");
    }

    void readHeader()
    {
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("t.wav"));
        QVERIFY(write(path, bytes));

        const mk::wav::ReadResult r = mk::wav::readHeader(path);
        QTEST(r.problem, "problem");
        const mk::wav::Header& h = r.header;
        QTEST(r.problem != Problem::None ? QString() : QStringLiteral("%1 %2 %3 %4 %5").arg(h.soundStart)
                  .arg(h.soundLength).arg(h.soundEnd).arg(h.zoomCentre).arg(h.caption), "header");
    }
};

QTEST_GUILESS_MAIN(tst_WavReader)
#include "tst_WavReader.moc"
