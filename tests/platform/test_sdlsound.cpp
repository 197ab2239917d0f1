// SdlSound against SDL's disk audio driver, which writes every sample the device is given (silence between plays) to
// a file, in real time: the cases play a few hundred ms at most and then read back exactly what was heard.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/SdlSound.h"
#include "sound/SndWrite.h"
#include "sound/TestWav.h"
#include "support/Files.h"

using mk::SdlSound;
using mk::SoundService;

namespace {

// Every frame carries its own index, never as silence: 16-bit files put 1 + index % 30000 on the left and
// -(1 + index / 30000) on the right; 8-bit files (mono) hold 1 + index % 127 in their top byte.
qint16 sampleOf(qint64 frame, int channel, bool eightBit)
{
    if (eightBit)
        return static_cast<qint16>((1 + frame % 127) << 8);
    return channel == 0 ? static_cast<qint16>(1 + frame % 30000) : static_cast<qint16>(-(1 + frame / 30000));
}

std::optional<qint64> frameOf(qint16 left, qint16 right)
{
    if (left <= 0 || right >= 0)
        return std::nullopt;
    return (left - 1) + 30000 * qint64(-right - 1);
}

bool writeSound(const QString& path, int rate, int channels, int format, qint64 frames)
{
    const bool eightBit = format == SF_FORMAT_PCM_U8;
    return sndtest::writeFrames<short>(path, SF_FORMAT_WAV | format, rate, channels, frames,
                                       [=](long long i, int c) { return sampleOf(i, c, eightBit); });
}

std::vector<qint16> readRaw(const QString& path)
{
    const QByteArray bytes = mk::test::readFile(path);
    std::vector<qint16> samples(size_t(bytes.size() / 2));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

struct Snippet { int rate, channels, format, fromMs, toMs, firstFrame, frameCount; };
struct Run { qint64 first, count; };

/// The stretches of consecutive source frames in a stereo 16-bit recording.
std::vector<Run> runsIn(const std::vector<qint16>& raw)
{
    std::vector<Run> runs;
    std::optional<qint64> previous;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        const auto frame = frameOf(raw[i], raw[i + 1]);
        if (frame && previous && *frame == *previous + 1)
            ++runs.back().count;
        else if (frame)
            runs.push_back({*frame, 1});
        else if (raw[i] != 0 || raw[i + 1] != 0)
            runs.push_back({-1, 1}); // neither silence nor a frame of the file
        previous = frame;
    }
    return runs;
}

/// The answers to a length query (and the length), a waited-for snippet, a play and a stop, in that order.
QList<int> answers(SdlSound& sound, const QString& path)
{
    qint32 ms = -1;
    QList<int> out{sound.length(path, ms)};
    out << ms << sound.play(path, 0, 20, true) << sound.play(path, 0, -1, false) << sound.stop(path);
    return out;
}

/// Whether this process holds `path` open.
bool isOpenHere(const QString& path)
{
    const QString wanted = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget() == wanted)
            return true;
    return false;
}

} // namespace
Q_DECLARE_METATYPE(Snippet)

class TestSdlSound : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name) const { return m_dir.filePath(name); }

    /// Points SDL's disk driver at a fresh file; the next device opened writes there.
    QString recordTo(const QString& name)
    {
        const QString out = file(name);
        QFile::remove(out);
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(out));
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
    }

    void init() { qputenv("SDL_AUDIODRIVER", "dummy"); }

    // The answers to a length query (and the length), a snippet, a play and a stop; then, for a sound that opens, the
    // rate and channels the device was readied with (the sound's own, at most two).
    void answersByFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<QList<int>>("want");
        using testwav::canonical;
        auto good = [](int ms, int rate, int channels) { return QList<int>{0, ms, 0, 0, 0, rate, channels}; };
        QTest::newRow("8-bit mono 22.05 kHz") << canonical(1, 22050, 8, QByteArray(11025, 1)) << good(500, 22050, 1);
        QTest::newRow("four channels") << canonical(4, 8000, 16, QByteArray(64000, 1)) << good(1000, 8000, 2);
        QTest::newRow("1.5 ms to even 2") << canonical(1, 8000, 16, QByteArray(24, 1)) << good(2, 8000, 1);
        QTest::newRow("2.5 ms to even 2") << canonical(1, 8000, 16, QByteArray(40, 1)) << good(2, 8000, 1);
        QTest::newRow("lowest rate, 1 kHz") << canonical(1, 1000, 16, QByteArray(3000, 1)) << good(1500, 1000, 1);
        QTest::newRow("highest, 384 kHz") << canonical(2, 384000, 16, QByteArray(153600, 1)) << good(100, 384000, 2);
        const int bad = SoundService::InvalidDevice;
        const QList<int> refused{bad, 0, bad, bad, SoundService::NoError};
        QTest::newRow("missing") << QByteArray() << refused;
        QTest::newRow("empty") << QByteArray("") << refused;
        QTest::newRow("RIFF header cut short") << QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) << refused;
        // Rates no output plays are refused, not played a buffer a minute.
        for (int rate : {1, 3, 999, 384001})
            QTest::addRow("%d Hz", rate) << canonical(1, rate, 16, QByteArray(64, 1)) << refused;
    }

    void answersByFile()
    {
        QFETCH(QByteArray, content);
        const QString path = file("sound.wav");
        QFile::remove(path);
        QVERIFY(content.isNull() || testwav::write(path, content));
        SdlSound sound;
        QList<int> got = answers(sound, path);
        if (got.first() == SoundService::NoError) {
            got << sound.stats().rate << sound.stats().channels;
            // At most 10 ms whatever the rate: closing the device waits a buffer.
            QVERIFY(sound.stats().bufferFrames * 100 <= sound.stats().rate);
        }
        QTEST(got, "want");
    }

    void snippetPlaysExactFrames_data()
    {
        QTest::addColumn<Snippet>("n");
        // 1010 ms is frame 22270.5 and 1030 ms frame 22711.5: both halves go to even.
        QTest::newRow("8-bit mono, half frames") << Snippet{22050, 1, SF_FORMAT_PCM_U8, 1010, 1030, 22270, 442};
        QTest::newRow("past the end stops at the end") << Snippet{8000, 2, SF_FORMAT_PCM_16, 1490, 1510, 11920, 80};
    }

    void snippetPlaysExactFrames()
    {
        QFETCH(Snippet, n);
        const auto [rate, channels, format, fromMs, toMs, firstFrame, frameCount] = n;
        const QString path = file("snippet.wav");
        QVERIFY(writeSound(path, rate, channels, format, rate * 3 / 2));
        const QString out = recordTo("snippet.raw");
        {
            SdlSound sound;
            qint32 ms = 0;
            QCOMPARE(sound.length(path, ms), int(SoundService::NoError));
            QCOMPARE(sound.play(path, fromMs, toMs, true), int(SoundService::NoError));
            // Returned only once the whole range has gone to the device.
            QCOMPARE(std::pair(sound.stats().playing, sound.stats().framesPlayed),
                     std::pair(false, qint64(frameCount)));
        }
        // From the first sample heard on, which starts a frame: the range's frames, then silence.
        const std::vector<qint16> raw = readRaw(out);
        const auto heard = std::find_if(raw.begin(), raw.end(), [](qint16 v) { return v != 0; });
        const size_t start = size_t(heard - raw.begin());
        QCOMPARE(start % size_t(channels), size_t(0));
        std::vector<qint16> want(std::max(raw.size() - start, size_t(frameCount * channels)), 0);
        for (int i = 0; i < frameCount * channels; ++i)
            want[size_t(i)] = sampleOf(firstFrame + i / channels, i % channels, format == SF_FORMAT_PCM_U8);
        QVERIFY(std::vector<qint16>(heard, raw.end()) == want);
    }

    // Streams from deep inside the file, is cut by a new play, and stops when told.
    void playReplaceAndStop()
    {
        const QString ramp = file("ramp.wav"); // 16-bit stereo 44.1 kHz, 10.5 s
        QVERIFY(writeSound(ramp, 44100, 2, SF_FORMAT_PCM_16, 463050));
        const QString out = recordTo("stream.raw");
        qint64 playedBeforeStop = 0;
        {
            SdlSound sound;
            qint32 ms = 0;
            QCOMPARE(sound.length(ramp, ms), int(SoundService::NoError));
            QCOMPARE(sound.play(ramp, 10000, -1, false), int(SoundService::NoError));
            QTRY_VERIFY_WITH_TIMEOUT(sound.stats().framesPlayed >= 1024, 2000);
            QCOMPARE(sound.play(ramp, 1000, 1020, true), int(SoundService::NoError));
            QCOMPARE(sound.play(ramp, 10000, -1, false), int(SoundService::NoError));
            QTRY_VERIFY_WITH_TIMEOUT(sound.stats().framesPlayed >= 1024, 2000);
            QCOMPARE(sound.stop(ramp), int(SoundService::NoError));
            playedBeforeStop = sound.stats().framesPlayed;
            const quint64 callbacks = sound.stats().callbacks;
            QTRY_VERIFY_WITH_TIMEOUT(sound.stats().callbacks >= callbacks + 3, 2000);
            QCOMPARE(sound.stats().framesPlayed, playedBeforeStop);
        }
        const std::vector<Run> runs = runsIn(readRaw(out));
        QCOMPARE(runs.size(), size_t(3));
        QVERIFY(runs[0].count >= 1024);
        QCOMPARE(QList<qint64>({runs[0].first, runs[1].first, runs[1].count, runs[2].first, runs[2].count}),
                 QList<qint64>({441000, 44100, 882, 441000, playedBeforeStop}));
    }

    // No file stays open once a play is over, waited for or not; the device (whose thread wakes for every buffer even
    // in silence) rests closed while nothing plays. A clock following the sound reads nothing before and after a
    // play, during it a frame of the range, stamped on the monotonic clock.
    void betweenPlays()
    {
        const QString path = file("rest.wav");
        QVERIFY(writeSound(path, 8000, 1, SF_FORMAT_PCM_16, 16000));
        SdlSound sound;
        qint32 ms = 0;
        qint64 frame = 0, at = 0;
        int rate = 0;
        QCOMPARE(sound.length(path, ms), int(SoundService::NoError));
        QVERIFY(!isOpenHere(path));
        QVERIFY(!sound.heardPosition(frame, at, rate));
        QTRY_VERIFY_WITH_TIMEOUT(!sound.stats().deviceOpen, 3000);
        const quint64 callbacks = sound.stats().callbacks;
        QTest::qWait(50);
        QCOMPARE(sound.stats().callbacks, callbacks);

        // Exactly one buffer from frame 0: the last frame heard is frame 0.
        QCOMPARE(sound.play(path, 0, 8, true), int(SoundService::NoError));
        QCOMPARE(sound.stats().framesPlayed, qint64(sound.stats().bufferFrames));
        QVERIFY(!isOpenHere(path));
        const qint64 delay = sound.stats().startDelayNs;
        QVERIFY2(delay >= 0 && delay < 1'000'000'000, qPrintable(QString::number(delay)));
        QTRY_VERIFY_WITH_TIMEOUT(!sound.heardPosition(frame, at, rate), 1000);

        QCOMPARE(sound.play(path, 1000, -1, false), int(SoundService::NoError));
        QVERIFY(isOpenHere(path));
        QTRY_VERIFY_WITH_TIMEOUT(sound.heardPosition(frame, at, rate), 2000);
        QCOMPARE(rate, 8000);
        QVERIFY2(frame >= 8000 && frame < 16000, qPrintable(QString::number(frame)));
        const qint64 now = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
        QVERIFY(at <= now && now - at < 1'000'000'000);
        sound.stop(path);
        QVERIFY(!sound.heardPosition(frame, at, rate));

        QCOMPARE(sound.play(path, 1900, -1, false), int(SoundService::NoError));
        QTRY_VERIFY_WITH_TIMEOUT(!sound.stats().playing, 3000);
        QVERIFY(!isOpenHere(path));
        QTRY_VERIFY_WITH_TIMEOUT(!sound.stats().deviceOpen, 3000);
        sound.prepare(path);
        QVERIFY(sound.stats().deviceOpen);
    }

    void withoutAudioOutput()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-driver");
        const QString path = file("quiet.wav");
        QVERIFY(writeSound(path, 44100, 2, SF_FORMAT_PCM_16, 441));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^No sound output"));
        QTest::failOnWarning(QRegularExpression("^No sound output"));
        SdlSound sound;
        const int cannot = SoundService::CannotPlay;
        QCOMPARE(answers(sound, path), QList<int>({cannot, 0, cannot, cannot, SoundService::NoError}));
        // A missing file is told apart still, and the next query tries the output again.
        qint32 ms = -1;
        QCOMPARE(sound.length(file("missing.wav"), ms), int(SoundService::InvalidDevice));
        QCOMPARE(sound.length(path, ms), cannot);
        QVERIFY(!sound.stats().deviceOpen);
    }
};

QTEST_GUILESS_MAIN(TestSdlSound)
#include "test_sdlsound.moc"
