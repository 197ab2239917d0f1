// marionettekit export-cd and verify-cd, run as a user runs them: on project
// files built here from the file layout, with no display (a window system
// would be required if the program made a window), checking exit statuses,
// the messages on standard error and the bytes written.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "CdRules.h"
#include "export/CdExport.h"
#include "sound/TestWav.h"

using namespace cdrules;

namespace {

QByteArray padded(const QByteArray& text, int width)
{
    return text.left(width) + QByteArray(std::max<qsizetype>(0, width - text.size()), ' ');
}

/// A ".pjt" file from the layout: header, eight servo records (active, type 1,
/// range 1..255), the sound name, Show::value for every track and frame, the
/// countdown.
QByteArray projectFile(const QByteArray& soundName, qint32 lastFrame)
{
    QByteArray p = QByteArray("MarionetteKit03") + le32(quint32(lastFrame)) + char(30) + char(7);
    for (int i = 0; i < 8; ++i)
        p += le16(-1) + char(1) + le16(1) + le16(255) + le16(0) + padded("Servo " + QByteArray::number(i), 32);
    p += padded(soundName, 255);
    for (int i = 0; i < 8; ++i)
        for (qint32 f = 0; f <= lastFrame; ++f)
            p += le16(qint16(Show::value(i, f)));
    return p + le16(10) + le16(0);
}

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run marionettekit(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A QApplication would need this display, and there is none.
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.start(MK_PROGRAM, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

class TestCdCommands : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString& name) { return m_dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes)
    {
        testwav::write(path(name), bytes);
        return path(name);
    }

private Q_SLOTS:
    void exportThenVerify_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("22 050 Hz mono") << 22050 << 1;
        QTest::newRow("44.1 kHz stereo") << 44100 << 2;
    }
    void exportThenVerify()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        const QString sound = write("sound.wav", testwav::canonical(qint16(channels), rate, 16,
                                                                   QByteArray(2 * channels * rate * 3, '\x11')));
        const qint32 lastFrame = 90;
        const QString project = write("show.pjt", projectFile(sound.toLocal8Bit(), lastFrame));
        const QString out = path("show-cd.wav");

        const Run exported = marionettekit({"export-cd", project, out});
        QVERIFY2(exported.status == 0, qPrintable(exported.err));
        QVERIFY(exported.err.contains("Encoding data into new file."));

        // The same bytes as the export of the same show in this process.
        Show show(lastFrame);
        RecordingProgress progress;
        const auto tracks = show.all();
        QCOMPARE(mk::cd::exportForCd(sound, path("in-process.wav"), lastFrame,
                                     [tracks](qint32 f) { return mk::cd::frameMessage(tracks, f); }, progress)
                     .status,
                 mk::cd::ExportResult::Status::Complete);
        QCOMPARE(readAll(out), readAll(path("in-process.wav")));

        const Run verified = marionettekit({"verify-cd", out, project});
        QCOMPARE(verified.status, 0);
        QCOMPARE(verified.out, QStringLiteral("91 of 91 frames match.\n"));

        // One sample turned over in frame 33 (character 2, data bit 5).
        QByteArray file = readAll(out);
        const qint64 k = 44100 + 1470 * 33 + 46 * 2 + 25;
        qToLittleEndian<qint16>(qint16(-sample(file, k, true)), file.data() + 44 + 4 * k + 2);
        const QString flipped = write("flipped.wav", file);
        const Run bad = marionettekit({"verify-cd", flipped, project});
        QCOMPARE(bad.status, 1);
        QVERIFY2(bad.out.startsWith("90 of 91 frames match.\nFirst frames that differ:\n  frame 33: "),
                 qPrintable(bad.out));
    }

    void soundOption()
    {
        const QString sound = write("elsewhere.wav", testwav::canonical(1, 22050, 16, QByteArray(44100, 0)));
        const QString project = write("moved.pjt", projectFile("C:\\Shows\\scream.wav", 10));
        const Run missing = marionettekit({"export-cd", project, path("moved-cd.wav")});
        QCOMPARE(missing.status, 1);
        QVERIFY2(missing.err.contains("Can't find the sound file") && missing.err.contains("scream.wav"),
                 qPrintable(missing.err));
        QVERIFY(!QFile::exists(path("moved-cd.wav")));
        const Run given = marionettekit({"export-cd", project, path("moved-cd.wav"), "--sound", sound});
        QVERIFY2(given.status == 0, qPrintable(given.err));
        QCOMPARE(marionettekit({"verify-cd", path("moved-cd.wav"), project}).status, 0);
        // A sound of the same name beside the project is found without --sound.
        QVERIFY(QFile::copy(sound, path("scream.wav")));
        QCOMPARE(marionettekit({"export-cd", project, path("beside-cd.wav")}).status, 0);
        QCOMPARE(readAll(path("beside-cd.wav")), readAll(path("moved-cd.wav")));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("no sound") << QStringList{"export-cd", "@nosound.pjt", "@x.wav"} << 1
                                  << "No sound: MarionetteKit does not support the creation of a CD playback\n"
                                     "file if you are not using a sound.";
        QTest::newRow("48 kHz") << QStringList{"export-cd", "@high.pjt", "@x.wav"} << 1
                                << "Sound Problem: The sound that you are using has a sample rate that";
        QTest::newRow("not a project") << QStringList{"export-cd", "@high.wav", "@x.wav"} << 1
                                       << "is not a MarionetteKit project.";
        QTest::newRow("verify a file that is no WAV") << QStringList{"verify-cd", "@high.pjt", "@high.pjt"} << 1
                                                      << "321 Invalid file format";
        QTest::newRow("verify a missing file") << QStringList{"verify-cd", "@none.wav", "@high.pjt"} << 1
                                               << "53 File not found";
        QTest::newRow("one argument") << QStringList{"export-cd", "@high.pjt"} << 2
                                      << "export-cd takes a project and the file to write.";
        QTest::newRow("unknown option") << QStringList{"verify-cd", "--fast", "a", "b"} << 2 << "";
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        write("high.wav", testwav::canonical(2, 48000, 16, QByteArray(400, 0)));
        write("high.pjt", projectFile(path("high.wav").toLocal8Bit(), 5));
        write("nosound.pjt", projectFile("noSound", 5));
        for (QString& a : args)
            if (a.startsWith('@'))
                a = path(a.mid(1));
        const Run r = marionettekit(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFile::exists(path("x.wav")));
    }

    void helpListsTheCommands()
    {
        const Run r = marionettekit({"--help"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("export-cd PROJECT.pjt OUT.wav [--sound WAV]"));
        QVERIFY(r.out.contains("verify-cd OUT.wav PROJECT.pjt"));
    }
};

QTEST_GUILESS_MAIN(TestCdCommands)
#include "test_cdcommands.moc"
