// The headless player as a haunt runs it, with the rest pose left on the wire
// by SIGTERM; the trigger's edge detection; every command line refused.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <numeric>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>

#include "cli/PlayCommand.h"
#include "cli/ShowTriggers.h"
#include "export/CdRules.h"
#include "project/ProjectFile.h"
#include "support/PseudoTerminal.h"
#include "support/RunProgram.h"
#include "support/TwoTrackShow.h"
#include "sound/TestWav.h"

namespace {

/// Two tracks of F + 1 frames: track 0 at `base` + f, track 1 at 200 - f.
QString writeShow(const QString& path, qint32 F, int base)
{
    mk::project::Project p = mk::test::twoTrackShow(F);
    for (qint32 f = 0; f <= F; ++f) {
        p.positions[0][size_t(f)] = qint16(base + f);
        p.positions[1][size_t(f)] = qint16(200 - f);
    }
    return mk::project::saveFile(path, p).ok ? path : QString();
}

/// The first bytes of each 6-byte message: track 0's position.
QList<int> track0(const QByteArray& line)
{
    QList<int> out;
    for (qsizetype i = 0; i + 6 <= line.size(); i += 6) {
        if (quint8(line[i]) != 255 || line[i + 1] != 0 || quint8(line[i + 3]) != 255 || line[i + 4] != 1)
            return {-1}; // a message cut or mixed with another
        out << quint8(line[i + 2]);
    }
    return out;
}

/// A trigger line whose level the test sets.
struct FakeLine : mk::cli::LineInput {
    explicit FakeLine(const std::atomic<bool>& level) : m_level(level) {}
    std::optional<bool> level() override { return m_level.load(); }
    const std::atomic<bool>& m_level;
};

} // namespace

class tst_play : public QObject {
    Q_OBJECT
private slots:
    void portUnpluggedAndBack()
    {
        // The port is named through a link, as udev names an adapter: the first adapter goes away mid-show, another
        // appears under the same name, and the show goes on to it.
        QTemporaryDir dir;
        mk::test::PseudoTerminal first, second;
        const QString link = dir.filePath(QStringLiteral("ttyFigure"));
        QVERIFY(QFile::link(first.slavePath(), link));
        QProcess play;
        play.start(MK_PROGRAM, {"play", writeShow(dir.filePath("s.pjt"), 300, 10), "--port", link});
        QVERIFY(play.waitForStarted());
        QVERIFY(!first.read(1 << 20, 600, false).isEmpty());
        first.closeMaster();
        QFile::remove(link);
        QVERIFY(QFile::link(second.slavePath(), link));
        // Until the player opens it, the new adapter's line reads as hung up.
        QTest::qSleep(1800);
        const QList<int> got = track0(second.read(1 << 20, 300, false));
        ::kill(pid_t(play.processId()), SIGTERM);
        QVERIFY(play.waitForFinished(1000));
        QCOMPARE(play.exitCode(), 0);
        const QString log = QString::fromLocal8Bit(play.readAllStandardError());
        QVERIFY2(got.size() >= 10 && !got.contains(-1), qPrintable(QString::number(got.size()) + log));
        QVERIFY2(log.contains("port lost") && log.contains("port back"), qPrintable(log));
    }

    void startsAndRepeats_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("start"); // what the test does after 0.3 s
        QTest::addColumn<int>("fewest");
        QTest::addColumn<int>("most");
        // A 0.2 s show: once per Enter or SIGUSR1; again and again with --loop,
        // resting --wait between plays; the idle show around it.
        QTest::newRow("signal, idle") << QStringList{"--trigger", "signal", "--idle", "IDLE"} << "SIGUSR1" << 1 << 1;
        QTest::newRow("enter") << QStringList{"--trigger", "enter"} << "Enter" << 1 << 1;
        QTest::newRow("enter not pressed") << QStringList{"--trigger", "enter"} << "" << 0 << 0;
        QTest::newRow("loop") << QStringList{"--loop"} << "" << 3 << 6;
        QTest::newRow("loop, wait") << QStringList{"--loop", "--wait", "0.6"} << "" << 1 << 2;
    }

    void startsAndRepeats()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, start);
        QFETCH(int, fewest);
        QFETCH(int, most);
        QTemporaryDir dir;
        mk::test::PseudoTerminal pty;
        const QString show = writeShow(dir.filePath("show.pjt"), 6, 10);
        options.replaceInStrings("IDLE", writeShow(dir.filePath("idle.pjt"), 3, 100));
        QProcess play;
        play.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        play.start(MK_PROGRAM, QStringList{"play", show, "--port", pty.slavePath()} + options);
        QVERIFY(play.waitForStarted());
        QByteArray line = pty.read(1 << 20, 300, false);
        if (start == "Enter") {
            play.write("\n");
            play.waitForBytesWritten(1000);
        } else if (start == "SIGUSR1") {
            ::kill(pid_t(play.processId()), SIGUSR1);
        }
        line += pty.read(1 << 20, 1500, false);
        ::kill(pid_t(play.processId()), SIGTERM);
        QVERIFY(play.waitForFinished(1000));
        QCOMPARE(play.exitCode(), 0);
        line += pty.read(1 << 20, 100, false);
        const QList<int> got = track0(line);
        QVERIFY2(!got.contains(-1), line.toHex(' ').constData());
        // Frame 1 is sent once per play, each frame of a play once and in order;
        // frame 0 is also the rest pose SIGTERM leaves.
        QVERIFY2(got.count(11) >= fewest && got.count(11) <= most, qPrintable(QString::number(got.count(11))));
        for (qsizetype i = 1; i < got.size(); ++i)
            if (got[i] > 10 && got[i] <= 16)
                QCOMPARE(got[i - 1], got[i] - 1);
        if (options.contains("--idle"))
            QVERIFY(got.first() == 100 && got.mid(got.indexOf(16)).contains(100));
        QCOMPARE(got.last(), 10);
    }

    void lineTriggers_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("pressed"); // the level while the button is down
        QTest::addColumn<QString>("opened");
        QTest::newRow("cts") << QStringList{"--trigger", "cts"} << true << QString("modem %1 PORT").arg(TIOCM_CTS);
        QTest::newRow("gpio, falling") << QStringList{"--trigger", "gpio:gpiochip4:17", "--trigger-edge", "falling"}
                                       << false << QStringLiteral("gpio gpiochip4 17");
    }

    void lineTriggers()
    {
        // In this process, with the line faked: a press that bounces back and
        // forth for longer than the show's 200 ms wait starts the show once.
        QFETCH(QStringList, options);
        QFETCH(bool, pressed);
        QTemporaryDir dir;
        mk::test::PseudoTerminal pty;
        std::atomic<bool> level = !pressed;
        QString openedAs;
        mk::cli::LineSources fakes;
        fakes.modem = [&](const int& fd, int bit) {
            const QString port = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
            openedAs = QStringLiteral("modem %1 %2").arg(bit).arg(port == pty.slavePath() ? "PORT" : port);
            return std::make_unique<FakeLine>(level);
        };
        fakes.gpio = [&](const QString& chip, unsigned line, QString&) {
            openedAs = QStringLiteral("gpio %1 %2").arg(chip).arg(line);
            return std::make_unique<FakeLine>(level);
        };
        const QStringList args = QStringList{"play", writeShow(dir.filePath("show.pjt"), 30, 10), "--port",
                                             pty.slavePath(), "--idle", writeShow(dir.filePath("idle.pjt"), 0, 100),
                                             "--retrigger", "--debounce", "400"} + options;
        int status = -1;
        std::thread player([&] { status = mk::cli::runPlayCommand(args, fakes); });

        const QList<int> before = track0(pty.read(1 << 20, 500, false));
        QByteArray line;
        for (const auto& [down, ms] : {std::pair{true, 250}, {false, 70}, {true, 1500}, {false, 100}}) {
            level = down == pressed;
            line += pty.read(1 << 20, ms, false);
        }
        ::pthread_kill(player.native_handle(), SIGTERM);
        player.join();
        line += pty.read(1 << 20, 100, false);

        QTEST(openedAs, "opened");
        QCOMPARE(status, 0);
        QCOMPARE(before, QList<int>({100}));
        QList<int> show(31); // frames 0 to 30
        std::iota(show.begin(), show.end(), 10);
        QCOMPARE(track0(line), show + QList<int>({100, 10}));
    }

    void edges_data()
    {
        QTest::addColumn<bool>("rising");
        QTest::addColumn<QList<int>>("levelsAtMs"); // level * 100000 + ms
        QTest::addColumn<int>("triggers");
        // A clean press and release, then a bouncing press within the debounce.
        QTest::newRow("press") << true << QList<int>{0, 10, 100020, 100025, 200} << 1;
        QTest::newRow("bounce") << true << QList<int>{0, 100010, 12, 100015, 100060} << 1;
        QTest::newRow("release bounce") << true << QList<int>{0, 100010, 50, 100055, 62, 90} << 1;
        QTest::newRow("second press") << true << QList<int>{0, 100010, 50, 100100} << 2;
        QTest::newRow("falling") << false << QList<int>{100000, 10, 100050, 100} << 2;
        QTest::newRow("resting high") << true << QList<int>{100000, 100010} << 0;
    }

    void edges()
    {
        QFETCH(bool, rising);
        QFETCH(QList<int>, levelsAtMs);
        mk::cli::EdgeDetector d(rising, 30);
        int n = 0;
        for (int v : levelsAtMs)
            n += d.feed(v >= 100000, v % 100000);
        QTEST(n, "triggers");
    }

    // The program's command lines that are refused, and what it says ('@':
    // the folder of the shows; "@held": a port another program holds).
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const auto row = [](const char* name, const char* args, int status, const char* says) {
            QTest::newRow(name) << QString::fromUtf8(args).split(' ') << status << QString::fromUtf8(says);
        };
        row("help", "--help", 0, "export-cd PROJECT.pjt OUT.wav [--sound WAV]");
        row("play help", "play --help", 0, "--trigger SOURCE");
        row("no show", "play", 2, "Name the show");
        row("bad trigger", "play x.pjt --trigger mat", 2, "--trigger does not take \"mat\".");
        row("modem line, no port", "play x.pjt --trigger cts", 2, "--port");
        row("bad edge", "play x.pjt --trigger-edge up", 2, "--trigger-edge");
        row("missing project", "play /nonexistent/x.pjt", 1, "No such project");
        row("missing port", "play @s.pjt --port /dev/ttyNONE9", 1, "No serial device");
        row("no such sound output", "play @s.pjt --audio-device Nowhere", 1, "No sound output");
        row("sound without samples", "play @s.pjt --sound @silent.wav", 1, "@silent.wav cannot be read");
        row("no gpio chip", "play @s.pjt --trigger gpio:nochip:3", 1, "No GPIO chip");
        row("port in use", "play @s.pjt --port @held", 1, "@held is in use");
        row("jaw: a word", "jaw @s.pjt --release soon", 2, "--release takes a number from 0 to 2000, not \"soon\".");
        row("jaw: half a frame", "jaw @s.pjt --from 2.5", 2, "--from takes a frame number.");
        row("jaw over its own project", "jaw @high.pjt --servo 1 -o @high.pjt", 2, "add --in-place to write over it");
        row("jaw without a servo", "jaw @high.pjt -o @x.pjt", 2, "--servo N");
        row("jaw without a sound", "jaw @nosound.pjt --servo 2 -o @x.pjt", 1, "The project has no sound");
        row("no sound", "export-cd @nosound.pjt @x.wav", 1,
            "No sound: MarionetteKit does not support the creation of a CD playback\n"
            "file if you are not using a sound.");
        row("not a sound", "export-cd @notes.pjt @x.wav", 1,
            "Sound Problem: The file \"notes.wav\" cannot be read as a sound (");
        // Sounds the window would refuse to load leave the project without one.
        row("no samples", "export-cd @empty.pjt @x.wav", 1, "Reason: No samples");
        row("rate the output cannot play", "export-cd @slow.pjt @x.wav", 1, "Error Code = 263");
        row("not a project", "export-cd @high.wav @x.wav", 1, "is not a MarionetteKit project.");
        row("verify a file that is no WAV", "verify-cd @high.pjt @high.pjt", 1, "321 Invalid file format");
        row("verify a missing file", "verify-cd @none.wav @high.pjt", 1, "53 File not found");
        row("one argument", "export-cd @high.pjt", 2, "export-cd takes a project and the file to write.");
        row("unknown option", "verify-cd --fast a b", 2, "");
    }

    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        cdrules::Folder files;
        using cdrules::projectFile;
        writeShow(files.path("s.pjt"), 3, 10);
        files.write("silent.wav", testwav::canonical(2, 44100, 16, QByteArray()));
        files.write("nosound.pjt", projectFile("noSound", 5));
        // Each sound beside a project that uses it.
        for (const auto& [name, wav] : {std::pair{"high", testwav::canonical(2, 48000, 16, QByteArray(400, 0))},
                                        {"notes", QByteArray("RIFF, but only in words")},
                                        {"empty", testwav::canonical(1, 22050, 8, QByteArray())},
                                        {"slow", testwav::canonical(1, 500, 8, QByteArray(400, char(128)))}}) {
            const QString sound = files.write(name + QStringLiteral(".wav"), wav);
            files.write(name + QStringLiteral(".pjt"), projectFile(sound.toLocal8Bit(), 5));
        }
        // Another holder of the port, as a second play would hold it.
        mk::test::PseudoTerminal pty;
        const int held = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
        const QString folder = files.dir.path() + '/';
        args.replaceInStrings("@held", pty.slavePath()).replaceInStrings("@", folder);
        says.replace("@held", pty.slavePath()).replace('@', folder);
        const auto run = mk::test::runHeadless(QStringLiteral(MK_PROGRAM), args);
        ::close(held);
        QTEST(run.status, "status");
        QVERIFY2((run.out + run.err).contains(says), qPrintable(run.err));
        QVERIFY(!QFile::exists(files.path("x.wav")) && !QFile::exists(files.path("x.pjt")));
    }
};

QTEST_GUILESS_MAIN(tst_play)
#include "tst_play.moc"
