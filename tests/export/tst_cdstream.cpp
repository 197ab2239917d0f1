// The servo half of the CD export and verify-cd's decoder, checked against the
// rules and, independently of both, sigrok's UART decoder.
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <numbers>

#include "CdRules.h"
#include "export/CdDecoder.h"
#include "support/RunProgram.h"

using namespace cdrules;
using testwav::canonical;
using Status = mk::cd::ExportResult::Status;

struct Rip {
    int shift;    // samples added (> 0) or dropped (< 0) in front
    double scale;
    double noise; // Gaussian of this sigma; < 0: uniform up to -noise
    int cutAfter; // the file ends after this frame's slot
    bool flipBit; // frame 40, character 7, data bit 3 inverted
    int matching;
    int otherFrom; // the show expected differs from this frame on
};
Q_DECLARE_METATYPE(Rip)

namespace {

/// `frames` frames of a constant left (and right) value.
QByteArray constantSound(qint32 rate, int channels, qint64 frames, qint16 left = 1000, qint16 right = 2000)
{
    const QByteArray frame = channels == 2 ? le16(left) + le16(right) : le16(left);
    return canonical(qint16(channels), rate, 16, frame.repeated(frames));
}

} // namespace

class TestCdStream : public QObject {
    Q_OBJECT
    Folder files;
    QByteArray m_show; // the export every rip is made from

private Q_SLOTS:
    // The servo stream after the one-second leader, from the rules, on sounds longer and shorter than the show. The
    // sound's own frames start at data frame 44 099 (the copy starts the leader on the data length field); where the
    // show runs past its end the left channel is 0 and the file ends with two bytes of the next frame's left value.
    void streamAndLengths_data()
    {
        QTest::addColumn<QByteArray>("sound");
        QTest::addColumn<int>("lastFrame");
        QTest::addColumn<qint64>("soundEnd"); // the first data frame without a left sound value
        QTest::newRow("F 1, two-second CD sound") << constantSound(44100, 2, 88200) << 1 << qint64(44099 + 88200);
        QTest::newRow("F 0") << constantSound(44100, 2, 44100) << 0 << qint64(44099 + 44100);
        QTest::newRow("F 300, longer 22 kHz sound")
            << constantSound(22050, 1, 12 * 22050) << 300 << qint64(44100 + 2 * (12 * 22050 - 1));
        // A lone left value after the last whole frame lies past the old end.
        QTest::newRow("F 60, CD format ending in half a frame")
            << canonical(2, 44100, 16, (le16(1000) + le16(2000)).repeated(22050) + le16(1000)) << 60
            << qint64(44099 + 22050);
    }
    void streamAndLengths()
    {
        QFETCH(QByteArray, sound);
        QFETCH(int, lastFrame);
        QFETCH(qint64, soundEnd);
        RecordingProgress progress;
        const QString out = files.path("stream.wav");
        QCOMPARE(exportShow(files.write("stream-s.wav", sound), out, lastFrame, progress).status, Status::Complete);
        const QByteArray file = readFile(out);
        const qint64 streamEnd = 44100 + 1470 * (lastFrame + 1);
        QCOMPARE(qint64(file.size()), soundEnd > streamEnd ? 44 + 4 * soundEnd : 44 + 4 * streamEnd + 2);
        QCOMPARE(file.left(44), header(quint32(4 * streamEnd + 36), quint32(4 * streamEnd)));
        QCOMPARE(streamDifference(file, lastFrame, 7), QString());
        // The leader, the sound's first and last left values.
        QCOMPARE(QList<qint16>({sample(file, 44098, true), sample(file, 44100, false),
                                sample(file, std::min(soundEnd, streamEnd + 1) - 1, false)}),
                 QList<qint16>({0, 1000, 1000}));
        for (qint64 k = soundEnd; k < streamEnd; ++k)
            if (sample(file, k, false) != 0)
                QFAIL(qPrintable(QStringLiteral("left channel at data frame %1 is not 0").arg(k)));
        // Progress every sixth frame; F = 0 shows 0 rather than dividing by it.
        const QList<double> encoding = progress.percents.mid(progress.percents.size() - (lastFrame / 6 + 1));
        QCOMPARE(std::pair(encoding.first(), encoding.last()), std::pair(0.0, lastFrame >= 6 ? 100.0 : 0.0));
        QCOMPARE(progress.stages.last(), QStringLiteral("Encoding data into new file."));

        // sigrok's UART decoder, which knows nothing of this program, reads the right channel of one row's stream
        // (above 0 is a space, else a mark) as the show's bytes.
        if (lastFrame != 300)
            return;
        const QString sigrok = QStandardPaths::findExecutable("sigrok-cli");
        QVERIFY2(!sigrok.isEmpty(), "sigrok-cli is installed by scripts/install-deps");
        QByteArray logic(16, char(1)); // idle in front, so a start at sample 0 has an edge
        for (qint64 k = 0; k < streamEnd; ++k)
            logic.append(char(sample(file, k, true) <= 0 ? 1 : 0));
        testwav::write(files.path("logic.bin"), logic);
        QByteArray want;
        for (qint32 f = 0; f <= lastFrame; ++f)
            want += Show::expected(f);
        const auto uart = [&](const char* annotation) {
            const auto run = mk::test::runProgram(sigrok, {"-I", "binary:numchannels=1:samplerate=44100", "-i",
                                                           files.path("logic.bin"), "-P", "uart:rx=0:baudrate=9587",
                                                           "-A", annotation});
            return run.status == 0 ? run.out.toLocal8Bit() : QByteArray("sigrok-cli failed");
        };
        QCOMPARE(uart("uart=rx-warnings"), QByteArray()); // no framing errors
        QByteArray got;
        for (const QByteArray& line : uart("uart=rx-data").split('\n'))
            if (!line.trimmed().isEmpty())
                got.append(char(line.trimmed().split(' ').last().toInt(nullptr, 16)));
        QCOMPARE(got.toHex(' '), want.toHex(' '));
    }

    // A position that is no number stops the export part way: the frames encoded before stay, the next is not
    // written, the lengths stay as the copy left them. A cancel does the same (test_cdexport_menu's journey).
    void badPositionStopsPartWay()
    {
        RecordingProgress progress;
        const QString out = files.path("stopped.wav");
        const auto r = exportShow(files.write("ten.wav", constantSound(44100, 2, 10 * 44100)), out, 299, progress, 5);
        QCOMPARE(std::tuple(int(r.status), r.message.value().title, r.message->text),
                 std::tuple(int(Status::Failed), QString("Export Error"),
                            QString("There was an error while exporting.\r13 Type mismatch")));
        const QByteArray file = readFile(out);
        QCOMPARE(file.size(), 40 + 11 * 176400);
        QCOMPARE(file.mid(4, 4), le32(quint32(file.size())));
        QCOMPARE(streamDifference(file, 4, 7), QString());
        QCOMPARE(sample(file, 44100 + 1470 * 5, true), qint16(2000));
    }

    // verify-cd reads a rip as a serial receiver does: a good export shifted,
    // scaled or noisy passes; a wrong bit or a file cut short does not.
    void decoderReadsRips_data()
    {
        QTest::addColumn<Rip>("r");
        QTest::newRow("as exported") << Rip{0, 1.0, 0.0, 89, false, 90, 90};
        QTest::newRow("300 early, 0.25, noise 300") << Rip{-300, 0.25, 300.0, 89, false, 90, 90};
        QTest::newRow("2000 early") << Rip{-2000, 1.0, 0.0, 89, false, 90, 90};
        QTest::newRow("2000 late, 0.25, noise up to 4000") << Rip{2000, 0.25, -4000.0, 89, false, 90, 90};
        QTest::newRow("one inverted data bit") << Rip{0, 1.0, 0.0, 89, true, 89, 90};
        QTest::newRow("truncated") << Rip{0, 1.0, 0.0, 59, false, 60, 90};
        QTest::newRow("another show from frame 60") << Rip{0, 1.0, 0.0, 89, false, 60, 60};
    }
    void decoderReadsRips()
    {
        QFETCH(Rip, r);
        const auto [shift, scale, noise, cutAfter, flipBit, matching, otherFrom] = r;
        if (m_show.isEmpty()) {
            RecordingProgress progress;
            const QString out = files.path("verify.wav");
            const QByteArray sound = constantSound(44100, 2, 3 * 44100, 1000, 3000);
            QCOMPARE(exportShow(files.write("verify-s.wav", sound), out, 89, progress).status, Status::Complete);
            m_show = readFile(out);
        }
        QByteArray data = m_show.mid(44, 4 * (44100 + 1470 * (cutAfter + 1)));
        for (qint64 j = 14; flipBit && j < 18; ++j) {
            char* at = data.data() + 4 * (44100 + 1470 * 40 + 46 * 7 + j) + 2;
            qToLittleEndian<qint16>(qint16(-qFromLittleEndian<qint16>(at)), at);
        }
        data = shift >= 0 ? QByteArray(4 * shift, '\0') + data : data.mid(-4 * shift);
        QRandomGenerator random(13);
        for (qsizetype k = 0; k + 1 < data.size(); k += 2) {
            const double u = random.generateDouble(), w = random.generateDouble();
            const double v = scale * qFromLittleEndian<qint16>(data.constData() + k)
                             + (noise > 0 ? noise * std::sqrt(-2 * std::log(1 - u)) * std::cos(2 * std::numbers::pi * w)
                                          : noise * (2 * u - 1));
            qToLittleEndian<qint16>(qint16(std::clamp(std::lround(v), -32768L, 32767L)), data.data() + k);
        }
        const QString rip = files.write("rip.wav", header(quint32(data.size() + 36), quint32(data.size())) + data);
        const mk::cd::DecodedStream decoded = mk::cd::decodeCdFile(rip);
        const auto v = mk::cd::verifyFrames(decoded, 89, [from = otherFrom](qint32 f) {
            QByteArray m = Show::expected(f);
            if (f >= from)
                m[2] = char(quint8(m[2]) ^ 1);
            return m;
        });
        QCOMPARE(std::tuple(v.framesMatching, v.offset, v.allMatch()),
                 std::tuple(qint64(matching), qint64(shift), matching == 90));
        if (flipBit)
            QVERIFY(v.firstMismatches.value(0).startsWith("frame 40: expected FF 00 "));
        if (otherFrom < 90)
            QCOMPARE(v.firstMismatches.size(), 10);
        // A show a frame longer or shorter is another show.
        QVERIFY(!mk::cd::verifyFrames(decoded, 90, &Show::expected).allMatch());
        QVERIFY(!mk::cd::verifyFrames(decoded, 88, &Show::expected).allMatch());
    }
};

QTEST_GUILESS_MAIN(TestCdStream)
#include "tst_cdstream.moc"
