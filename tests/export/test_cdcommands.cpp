// marionettekit export-cd and verify-cd, run as a user runs them: on project
// files built here from the file layout, with no display (a window system
// would be required if the program made a window), checking exit statuses,
// the messages on standard error and the bytes written.
#include <QTemporaryDir>
#include <QTest>

#include "CdRules.h"
#include "export/CdExport.h"
#include "project/ProjectFile.h"
#include "sound/SndWrite.h"
#include "sound/TestWav.h"
#include "support/RunProgram.h"

using namespace cdrules;

namespace {

mk::test::ProgramRun marionettekit(const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A QApplication would need this display, and there is none.
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    return mk::test::runProgram(MK_PROGRAM, args, env);
}

} // namespace

class TestCdCommands : public QObject {
    Q_OBJECT
    Folder files;

private Q_SLOTS:
    // export-cd writes what the same show exported here writes, verify-cd
    // reads every frame back and finds one turned-over sample. With fewer
    // than eight tracks each frame's commands still fill its 1/30 s slot.
    void exportThenVerify_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("lastServoIndex");
        QTest::addColumn<int>("lastFrame");
        QTest::newRow("22 050 Hz mono") << 22050 << 1 << 16 << 7 << 90;
        QTest::newRow("44.1 kHz stereo, one track") << 44100 << 2 << 16 << 0 << 300;
        QTest::newRow("48 kHz 24-bit stereo, converted, four tracks") << 48000 << 2 << 24 << 3 << 40;
    }
    void exportThenVerify()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, bits);
        QFETCH(int, lastServoIndex);
        QFETCH(int, lastFrame);
        const QString sound = files.write("sound.wav", testwav::canonical(qint16(channels), rate, qint16(bits),
                                                                   QByteArray(bits / 8 * channels * rate * 3, '\x11')));
        const QString project = files.write("show.pjt", projectFile(sound.toLocal8Bit(), lastFrame, lastServoIndex));
        const QString out = files.path("show-cd.wav");

        const auto exported = marionettekit({"export-cd", project, out});
        QVERIFY2(exported.status == 0, qPrintable(exported.err));
        QVERIFY(exported.err.contains("Encoding data into new file."));
        QByteArray file = readFile(out);
        QCOMPARE(streamDifference(file, lastFrame, lastServoIndex), QString());
        if (lastServoIndex == 7) {
            RecordingProgress progress;
            QCOMPARE(exportShow(sound, files.path("in-process.wav"), lastFrame, progress).status,
                     mk::cd::ExportResult::Status::Complete);
            QCOMPARE(file, readFile(files.path("in-process.wav")));
        }

        const auto verified = marionettekit({"verify-cd", out, project});
        QCOMPARE(verified.status, 0);
        QVERIFY2(verified.out.startsWith("Stream found at offset 0 samples (idle 0, space 32767, threshold 16384); "
                                         "weakest bit 16384 from the threshold (100 %).\n"),
                 qPrintable(verified.out));
        QVERIFY(verified.out.endsWith(QStringLiteral("\n%1 of %1 frames match.\n").arg(lastFrame + 1)));

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

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("no sound") << QStringList{"export-cd", "@nosound.pjt", "@x.wav"} << 1
                                  << "No sound: MarionetteKit does not support the creation of a CD playback\n"
                                     "file if you are not using a sound.";
        QTest::newRow("not a sound") << QStringList{"export-cd", "@notes.pjt", "@x.wav"} << 1
                                     << "Sound Problem: The file \"notes.wav\" cannot be read as a sound (";
        // Sounds the window would refuse to load leave the project without one.
        QTest::newRow("no samples") << QStringList{"export-cd", "@empty.pjt", "@x.wav"} << 1
                                    << "Reason: No samples";
        QTest::newRow("rate the output cannot play") << QStringList{"export-cd", "@slow.pjt", "@x.wav"} << 1
                                                     << "Error Code = 263";
        QTest::newRow("not a project") << QStringList{"export-cd", "@high.wav", "@x.wav"} << 1
                                       << "is not a MarionetteKit project.";
        QTest::newRow("verify a file that is no WAV") << QStringList{"verify-cd", "@high.pjt", "@high.pjt"} << 1
                                                      << "321 Invalid file format";
        QTest::newRow("verify a missing file") << QStringList{"verify-cd", "@none.wav", "@high.pjt"} << 1
                                               << "53 File not found";
        QTest::newRow("one argument") << QStringList{"export-cd", "@high.pjt"} << 2
                                      << "export-cd takes a project and the file to write.";
        QTest::newRow("jaw over its own project") << QStringList{"jaw", "@high.pjt", "--servo", "1", "-o", "@high.pjt"}
                                                  << 2 << "add --in-place to write over it";
        QTest::newRow("jaw without a servo") << QStringList{"jaw", "@high.pjt", "-o", "@x.pjt"} << 2 << "--servo N";
        QTest::newRow("jaw without a sound") << QStringList{"jaw", "@nosound.pjt", "--servo", "2", "-o", "@x.pjt"} << 1
                                             << "The project has no sound";
        QTest::newRow("unknown option") << QStringList{"verify-cd", "--fast", "a", "b"} << 2 << "";
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        files.write("high.wav", testwav::canonical(2, 48000, 16, QByteArray(400, 0)));
        files.write("high.pjt", projectFile(files.path("high.wav").toLocal8Bit(), 5));
        files.write("nosound.pjt", projectFile("noSound", 5));
        files.write("notes.wav", "RIFF, but only in words");
        files.write("notes.pjt", projectFile(files.path("notes.wav").toLocal8Bit(), 5));
        files.write("empty.wav", testwav::canonical(1, 22050, 8, QByteArray()));
        files.write("empty.pjt", projectFile(files.path("empty.wav").toLocal8Bit(), 5));
        files.write("slow.wav", testwav::canonical(1, 500, 8, QByteArray(400, char(128))));
        files.write("slow.pjt", projectFile(files.path("slow.wav").toLocal8Bit(), 5));
        for (QString& a : args)
            if (a.startsWith('@'))
                a = files.path(a.mid(1));
        const auto r = marionettekit(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFile::exists(files.path("x.wav")) && !QFile::exists(files.path("x.pjt")));
    }

    void helpListsTheCommands()
    {
        const auto r = marionettekit({"--help"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("export-cd PROJECT.pjt OUT.wav [--sound WAV]"));
        QVERIFY(r.out.contains("verify-cd OUT.wav PROJECT.pjt"));
        QVERIFY(r.out.contains("jaw PROJECT.pjt --servo N (-o OUT.pjt | --in-place)"));
    }

    // A jaw from a 48 kHz FLAC with a burst of voice at frames 30 to 59:
    // servo 2 opens two frames early (the lead), the other tracks and the
    // input stay as they were.
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
