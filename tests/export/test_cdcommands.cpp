// marionettekit export-cd, verify-cd and jaw, run as a user runs them: on project files built here from the file
// layout, with no display (a window system would be required if the program made a window), checking the bytes
// written. What they refuse, and say so, is tst_play's table.
#include <QTest>

#include "CdRules.h"
#include "project/ProjectFile.h"
#include "sound/SndWrite.h"
#include "support/RunProgram.h"

using namespace cdrules;

namespace {

mk::test::ProgramRun marionettekit(const QStringList& args) { return mk::test::runHeadless(MK_PROGRAM, args); }

struct Export {
    int rate, channels, bits, lastServoIndex, lastFrame;
};

} // namespace
Q_DECLARE_METATYPE(Export)

class TestCdCommands : public QObject {
    Q_OBJECT
    Folder files;

private Q_SLOTS:
    // export-cd writes the stream of the rules, verify-cd reads every frame back and finds one turned-over sample.
    // With fewer than eight tracks each frame's commands still fill its 1/30 s slot.
    void exportThenVerify_data()
    {
        QTest::addColumn<Export>("e");
        QTest::newRow("22 050 Hz mono") << Export{22050, 1, 16, 7, 90};
        QTest::newRow("44.1 kHz stereo, one track") << Export{44100, 2, 16, 0, 300};
        QTest::newRow("48 kHz 24-bit stereo, converted, four tracks") << Export{48000, 2, 24, 3, 40};
    }
    void exportThenVerify()
    {
        QFETCH(Export, e);
        const auto [rate, channels, bits, lastServoIndex, lastFrame] = e;
        const QString sound = files.write("sound.wav", testwav::canonical(qint16(channels), rate, qint16(bits),
                                                                   QByteArray(bits / 8 * channels * rate * 3, '\x11')));
        const QString project = files.write("show.pjt", projectFile(sound.toLocal8Bit(), lastFrame, lastServoIndex));
        const QString out = files.path("show-cd.wav");

        const auto exported = marionettekit({"export-cd", project, out});
        QVERIFY2(exported.status == 0, qPrintable(exported.err));
        QVERIFY(exported.err.contains("Encoding data into new file."));
        QByteArray file = readFile(out);
        QCOMPARE(streamDifference(file, lastFrame, lastServoIndex), QString());

        const auto verified = marionettekit({"verify-cd", out, project});
        QCOMPARE(std::pair(verified.status, verified.out),
                 std::pair(0, QStringLiteral("Stream found at offset 0 samples (idle 0, space 32767, threshold 16384); "
                                             "weakest bit 16384 from the threshold (100 %).\n%1 of %1 frames match.\n")
                                  .arg(lastFrame + 1)));

        // One sample turned over in frame 33 (character 0, data bit 5).
        const qint64 k = 44100 + 1470 * 33 + 25;
        qToLittleEndian<qint16>(qint16(-sample(file, k, true)), file.data() + 44 + 4 * k + 2);
        const auto bad = marionettekit({"verify-cd", files.write("flipped.wav", file), project});
        QCOMPARE(bad.status, 1);
        QVERIFY2(bad.out.contains(QStringLiteral("\n%1 of %2 frames match.\nFirst frames that differ:\n  frame 33: ")
                                      .arg(lastFrame).arg(lastFrame + 1)),
                 qPrintable(bad.out));
    }

    void soundOption()
    {
        const QString sound = files.write("elsewhere.wav", testwav::canonical(1, 22050, 16, QByteArray(44100, 0)));
        const QString project = files.write("moved.pjt", projectFile("C:\\Shows\\scream.wav", 10));
        const auto missing = marionettekit({"export-cd", project, files.path("moved-cd.wav")});
        QCOMPARE(missing.status, 1);
        QVERIFY2(missing.err.contains("Can't find the sound file") && missing.err.contains("scream.wav"),
                 qPrintable(missing.err));
        QVERIFY(!QFile::exists(files.path("moved-cd.wav")));
        const auto given = marionettekit({"export-cd", project, files.path("moved-cd.wav"), "--sound", sound});
        QVERIFY2(given.status == 0, qPrintable(given.err));
        QCOMPARE(marionettekit({"verify-cd", files.path("moved-cd.wav"), project}).status, 0);
        // A sound of the same name beside the project is found without --sound.
        QVERIFY(QFile::copy(sound, files.path("scream.wav")));
        QCOMPARE(marionettekit({"export-cd", project, files.path("beside-cd.wav")}).status, 0);
        QCOMPARE(readFile(files.path("beside-cd.wav")), readFile(files.path("moved-cd.wav")));
        // A sound the user names wins over the project's own.
        const QString named = files.write("named.wav", testwav::canonical(2, 44100, 16, le32(1234).repeated(44100)));
        QCOMPARE(marionettekit({"export-cd", project, files.path("named-cd.wav"), "--sound", named}).status, 0);
        QCOMPARE(sample(readFile(files.path("named-cd.wav")), 44100, false), qint16(1234));
    }

    // A jaw from a 48 kHz FLAC with a burst of voice at frames 30 to 59: servo 2 opens two frames early (the lead),
    // the other tracks and the input stay as they were.
    void jaw()
    {
        const QString sound = files.path("voice.flac");
        QVERIFY(sndtest::write(sound, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 3.0,
                               [](double t) { return t >= 1 && t < 2 ? 0.5 * std::sin(2 * M_PI * 500 * t) : 0.0; }));
        const QString project = files.write("talk.pjt", projectFile(sound.toLocal8Bit(), 95));
        const QByteArray before = readFile(project);
        const auto r = marionettekit({"jaw", project, "--servo", "2", "--closed", "max", "-o", files.path("out.pjt")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(readFile(project), before);
        const mk::project::ReadResult out = mk::project::readFile(files.path("out.pjt"));
        QCOMPARE(out.status, mk::project::ReadResult::Status::Ok);
        for (int i = 0; i < 8; ++i)
            for (qint32 f = 0; f <= 95; ++f) {
                const int p = out.project.positions[size_t(i)][size_t(f)];
                if (i != 2)
                    QCOMPARE(p, Show::value(i, f));
                else if (f >= 29 && f <= 56)
                    QVERIFY2(p <= 10, qPrintable(QStringLiteral("%1: %2").arg(f).arg(p)));
                else if (f < 27 || (f > 62 && f < 90))
                    QVERIFY2(p == 255, qPrintable(QStringLiteral("%1: %2").arg(f).arg(p)));
            }
    }
};

QTEST_GUILESS_MAIN(TestCdCommands)
#include "test_cdcommands.moc"
