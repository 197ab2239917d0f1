// Sounds as users have them, converted to what the program reads: level, frequency and samples kept, a converted file
// reused, a Cancel leaving nothing behind.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "SndWrite.h"
#include "TestWav.h"
#include "sound/SoundConverter.h"

using mk::sound::Prepared;

namespace {

double rmsDb(const std::vector<float>& s, size_t from, size_t n)
{
    double sum = 0;
    for (size_t i = from; i < from + n; ++i)
        sum += double(s[i]) * s[i];
    return 10 * std::log10(sum / double(n));
}

/// Rising zero crossings a second.
double frequency(const std::vector<float>& s, size_t from, size_t n, int rate)
{
    int rises = 0;
    for (size_t i = from + 1; i < from + n; ++i)
        rises += s[i - 1] < 0 && s[i] >= 0;
    return double(rises) * rate / double(n);
}

struct Conversion {
    int format, rate, channels;
    double toleranceDb;
    bool sampleExact; // within the dither's step, sample by sample
};

} // namespace
Q_DECLARE_METATYPE(Conversion)

class tst_SoundConverter : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void convert_data()
    {
        QTest::addColumn<Conversion>("c");
        QTest::newRow("24-bit WAV") << Conversion{SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, 0.1, true};
        QTest::newRow("32-bit WAV at 48 kHz") << Conversion{SF_FORMAT_WAV | SF_FORMAT_PCM_32, 48000, 2, 0.1, false};
        QTest::newRow("float WAV") << Conversion{SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 0.1, true};
        QTest::newRow("double WAV at 8 kHz") << Conversion{SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 8000, 1, 0.1, false};
        QTest::newRow("16-bit WAV at 48 kHz") << Conversion{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 0.1, false};
        QTest::newRow("FLAC at 96 kHz") << Conversion{SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2, 0.1, false};
        QTest::newRow("AIFF 5 channels at 192 kHz")
            << Conversion{SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 192000, 5, 0.1, false};
        QTest::newRow("Ogg Vorbis") << Conversion{SF_FORMAT_OGG | SF_FORMAT_VORBIS, 48000, 2, 0.2, false};
        QTest::newRow("MP3") << Conversion{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 48000, 2, 0.2, false};
    }
    void convert()
    {
        QFETCH(Conversion, c);
        const auto [format, rate, channels, toleranceDb, sampleExact] = c;
        const QString source = m_dir.filePath(QStringLiteral("%1.snd").arg(QTest::currentDataTag()));
        const double amplitude = 0.5, hz = 997;
        if (!sndtest::write(source, format, rate, channels, 2.0, sndtest::sine(hz, amplitude)))
            QSKIP("libsndfile cannot write this format here");

        const Prepared p = mk::sound::prepare(source, m_dir.path());
        const QString converted = m_dir.filePath(QTest::currentDataTag() + QString(" (for MarionetteKit).wav"));
        QCOMPARE(std::pair(int(p.status), p.path), std::pair(int(Prepared::Status::Converted), converted));
        QVERIFY(mk::sound::takenAsIs(p.path));

        SF_INFO info;
        const std::vector<float> out = sndtest::read(p.path, info);
        QCOMPARE(std::tuple(info.samplerate, info.channels, info.format),
                 std::tuple(44100, std::min(channels, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        const bool lossy = toleranceDb > 0.1; // encoders add their delay and padding
        QVERIFY2(std::abs(double(out.size()) - 88200) <= (lossy ? 4000 : 2), qPrintable(QString::number(out.size())));
        const size_t mid = 22050, n = 44100;
        const double expected = 20 * std::log10(amplitude / std::sqrt(2.0));
        const double db = rmsDb(out, mid, n);
        QVERIFY2(std::abs(db - expected) < toleranceDb, qPrintable(QString::number(db)));
        QVERIFY(std::abs(frequency(out, mid, n, 44100) - hz) <= 1.0);
        if (sampleExact) {
            SF_INFO in;
            const std::vector<float> src = sndtest::read(source, in);
            for (size_t i = 0; i < out.size(); ++i)
                QVERIFY(std::abs(out[i] - src[i]) * 32768 <= 1.5001f); // one step of dither, half of rounding
        }
    }

    void reuseCancelRefuse()
    {
        const QString source = m_dir.filePath(QStringLiteral("voice.flac"));
        QVERIFY(sndtest::write(source, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 1.0, sndtest::sine(440, 0.3)));
        QCOMPARE(int(mk::sound::prepare(source, {}).status), int(Prepared::Status::Converted));
        QCOMPARE(int(mk::sound::prepare(source, {}).status), int(Prepared::Status::Reused));
        // A changed source is converted again.
        QVERIFY(sndtest::write(source, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 32000, 1, 1.0, sndtest::sine(440, 0.3)));
        QCOMPARE(int(mk::sound::prepare(source, {}).status), int(Prepared::Status::Converted));

        const QString other = m_dir.filePath(QStringLiteral("long.wav"));
        QVERIFY(sndtest::write(other, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2, 3.0, sndtest::sine(440, 0.3)));
        const auto cancel = [](double) { return false; };
        QCOMPARE(int(mk::sound::prepare(other, {}, cancel).status), int(Prepared::Status::Cancelled));
        QVERIFY(!QFile::exists(mk::sound::convertedName(other, m_dir.path())));

        const QString plain = m_dir.filePath(QStringLiteral("plain.wav"));
        QVERIFY(sndtest::write(plain, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, 0.5, sndtest::sine(440, 0.3)));
        const Prepared asIs = mk::sound::prepare(plain, {});
        QCOMPARE(std::pair(int(asIs.status), asIs.path), std::pair(int(Prepared::Status::AsIs), plain));

        const QString text = m_dir.filePath(QStringLiteral("notes.wav"));
        QVERIFY(testwav::write(text, "just some words"));
        const Prepared refused = mk::sound::prepare(text, {});
        QCOMPARE(int(refused.status), int(Prepared::Status::Refused));
        QVERIFY(refused.message.startsWith(QStringLiteral("The file \"notes.wav\" cannot be read as a sound (")));
    }
};

QTEST_GUILESS_MAIN(tst_SoundConverter)
#include "tst_soundconverter.moc"
