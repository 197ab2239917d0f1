// The project file without a window: bytes against the layout, reading files made from the layout, round trips,
// damaged files, text fields, the order in which a project reaches the tracks, and saves that fail.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include "support/LayoutBuilder.h"
#include "project/ProjectFile.h"
#include "sound/TestWav.h"
#include "support/Files.h"
#include "tracks/EightTracks.h"

using namespace mk::project;
using Status = ReadResult::Status;

namespace {

/// The project a file from the layout reads as: names and sound as Latin-1
/// text (every name here is), only the low byte of each position.
Project projectFrom(const layout::File& f)
{
    Project p;
    p.version = f.version;
    p.frameCount = qint32(f.frames);
    p.lastServoIndex = quint8(f.servos.size() - 1);
    for (const auto& s : f.servos)
        p.servos.push_back({s.active, quint8(s.device), qint16(s.min), qint16(s.max), s.reversed,
                            QString::fromLatin1(layout::text(s.name, 32))});
    p.soundName = QString::fromLatin1(layout::text(f.sound, 255));
    p.positions.assign(size_t(f.servos.size()), std::vector<qint16>(size_t(f.frames) + 1, 0));
    for (int i = 0; i < f.servos.size() && i < f.positions.size(); ++i)
        for (int k = 0; k < f.positions[i].size() && k <= f.frames; ++k)
            p.positions[size_t(i)][size_t(k)] = qint16(f.positions[i][k] & 0xFF);
    p.countdownDuration = qint16(f.duration);
    p.countdownEnabled = f.enabled;
    p.hasEndMarker = f.marker;
    return p;
}

layout::File showFile(qint64 frames, bool marker, QByteArray version = "03")
{
    layout::File f{.version = version, .frames = frames, .sound = "/home/haunt/Shows/scream.wav",
                   .positions = {{0, 128, 255, 1}, {}, {7}, {}, {}, {}, {}, {}}, .duration = 7, .enabled = true,
                   .marker = marker};
    f.servos[0] = {true, 1, 20, 240, false, "Jaw"};
    f.servos[1] = {false, 1, 1, 255, true, "Left eye \xE9"}; // Windows-1252 and Latin-1 agree on é
    f.servos[7].name = "A name that is much longer than thirty-two bytes";
    for (qint64 k = 0; k <= frames; ++k)
        f.positions[3] << int(k * 7 % 256);
    return f;
}

struct Text {
    QString text;
    int width;
    QByteArray bytes;
    bool cut;
    QString readBack;
};

} // namespace

Q_DECLARE_METATYPE(Project)
Q_DECLARE_METATYPE(layout::File)
Q_DECLARE_METATYPE(Text)

class tst_projectfile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writerMatchesLayout_data()
    {
        QTest::addColumn<layout::File>("f");
        QTest::newRow("F=0") << showFile(0, false);
        QTest::newRow("settings only") << showFile(1, false, "02");
        QTest::newRow("F=40000, above 16 bits, Save As") << showFile(40000, true);
    }
    void writerMatchesLayout()
    {
        QFETCH(layout::File, f);
        // Progress after every 200th position of each track.
        QList<QPair<int, int>> seen, want;
        QByteArray written;
        QBuffer buffer(&written);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(write(buffer, projectFrom(f), [&](int i, qint32 k) { seen.append({i, k}); }).ok);
        QCOMPARE(written, f.bytes());
        for (int i = 0; i < 8; ++i)
            for (int k = 0; k <= f.frames; k += 200)
                want.append({i, k});
        QCOMPARE(seen, want);
        const ReadResult back = read(encode(projectFrom(f)));
        QCOMPARE(back.status, Status::Ok);
        QCOMPARE(back.project, projectFrom(f));
    }

    void readerReadsLayout_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Project>("expected");
        QTest::addColumn<QString>("sound"); // the sound to load; empty: none
        layout::File f{.frames = 2, .positions = {}};
        const auto row = [&f](const char* name, const char* tail, const char* sound) {
            QTest::newRow(name) << f.bytes() + tail << projectFrom(f) << QString::fromLatin1(sound);
        };
        f.positions = {{0, 0, 300}};
        row("high byte dropped: 300 reads 44", "", "");
        f.positions = {{0, 0, -1}};
        f.sound = "  noSound";
        row("-1 reads 255; blank noSound", "", "");
        f.sound = "C:\\Shows\\scream.wav";
        f.marker = true;
        row("Windows path, marker", "", "C:\\Shows\\scream.wav");
        row("trailing bytes ignored", "junk", "C:\\Shows\\scream.wav");
        f.marker = false;
        f.servos = QList<layout::Servo>(2);
        row("N = 1", "", "C:\\Shows\\scream.wav");
        f.servos = QList<layout::Servo>(8);
        f.version = "99";
        row("version not looked at", "", "C:\\Shows\\scream.wav");
    }
    void readerReadsLayout()
    {
        QFETCH(QByteArray, bytes);
        const ReadResult r = read(bytes);
        QCOMPARE(r.status, Status::Ok);
        QTEST(r.project, "expected");
        QTEST(r.project.soundLoaded() ? r.project.soundFileName() : QString(), "sound");
    }

    void refusesDamagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("sequential");
        QTest::addColumn<int>("number"); // 0: not a project at all
        QTest::addColumn<QString>("reason");

        layout::File f;
        QTest::newRow("empty") << QByteArray() << false << 0 << "";
        QTest::newRow("other program") << QByteArray("RIFF....WAVEfmt ") << false << 0 << "";
        QTest::newRow("case differs") << "marionetteKit03" + f.bytes().mid(15) << false << 0 << "";
        f.frames = -1;
        QTest::newRow("F = -1") << f.bytes() << false << 321 << "frame count is -1";
        f.frames = 1;
        // A frame count the rest of the file does not back.
        const auto claiming = [&](qint64 n) { return f.bytes().left(15) + layout::le32(n) + f.bytes().mid(19); };
        QTest::newRow("F = int32 max") << claiming(0x7FFFFFFF) << false << 321 << "too short for its frame count";
        QTest::newRow("F = 1e8, the most a track holds") << claiming(100'000'000) << false << 62
                                                         << "positions of servo 0";
        QTest::newRow("F = 1e8 + 1, length unknown") << claiming(100'000'001) << true << 7
                                                     << "100000001 frames are more than a track can hold";
        f.servos = QList<layout::Servo>(9);
        QTest::newRow("N = 8") << f.bytes() << false << 9 << "9 servo tracks";
        f.servos = QList<layout::Servo>(256);
        QTest::newRow("N = 255") << f.bytes() << true << 9 << "256 servo tracks";
    }
    void refusesDamagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, sequential);
        QFETCH(QString, reason);
        QFile stream;
        if (sequential) { // a pipe: its size is not known before it is read
            int fds[2];
            QVERIFY(pipe(fds) == 0 && ::write(fds[1], bytes.constData(), size_t(bytes.size())) == bytes.size());
            ::close(fds[1]);
            QVERIFY(stream.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        }
        const ReadResult r = sequential ? read(stream) : read(bytes);
        QFETCH(int, number);
        QCOMPARE(r.status, number == 0 ? Status::NotAProject : Status::Failed);
        QCOMPARE(r.error.number, number);
        QVERIFY2(r.error.description.contains(reason), qPrintable(r.error.description));
        QVERIFY(r.project.positions.empty());
    }

    void everyTruncationIsRefused()
    {
        const QByteArray whole = layout::File{.frames = 3, .positions = {}, .marker = true}.bytes();
        const int needed = whole.size() - 29; // the marker may be missing
        QCOMPARE(read(whole.left(needed)).status, Status::Ok);
        auto where = [](int size) {
            if (size < 21) return QStringLiteral("the header");
            if (size < 349) return QStringLiteral("the record of servo %1").arg((size - 21) / 41);
            if (size < 604) return QStringLiteral("the sound file name");
            if (size < 668) return QStringLiteral("the positions of servo %1").arg((size - 604) / 8);
            return QStringLiteral("the countdown settings");
        };
        for (int size = 0; size < needed; ++size) {
            const ReadResult r = read(whole.left(size));
            QCOMPARE(r.status, size < 13 ? Status::NotAProject : Status::Failed);
            if (size >= 13)
                QCOMPARE(r.error.description, "Input past end of file: the file ends in " + where(size));
        }
    }

    void textFields_data()
    {
        QTest::addColumn<Text>("t");
        const auto u = [](const char* s) { return QString::fromUtf8(s); };
        QTest::newRow("ascii padded") << Text{"Jaw", 6, "Jaw   ", false, "Jaw   "};
        QTest::newRow("ascii cut") << Text{"Jawbone", 4, "Jawb", true, "Jawb"};
        QTest::newRow("1252 edges: € Ÿ, then NBSP")
            << Text{u("é€Ÿ\u00A0"), 5, "\xE9\x80\x9F\xA0 ", false, u("é€Ÿ\u00A0 ")};
        QTest::newRow("U+0080 is not 1252") << Text{u("\u0080"), 2, "\xC2\x80", false, u("\u0080")};
        QTest::newRow("UTF-8: 頭") << Text{u("頭x"), 5, "\xE9\xA0\xAD" "x ", false, u("頭x ")};
        QTest::newRow("UTF-8 cut at a character") << Text{u("xé頭"), 4, "x\xC3\xA9 ", true, u("xé ")};
        QTest::newRow("UTF-8 emoji pair kept whole") << Text{u("😀😀"), 6, "\xF0\x9F\x98\x80  ", true, u("😀  ")};
        QTest::newRow("1252 bytes that look like UTF-8") << Text{u("Ã©"), 5, "\xC3\x83\xC2\xA9 ", false, u("Ã© ")};
        QTest::newRow("1252 hole 0x81") << Text{QString(QChar(0x81)), 1, "\x81", false, QString(QChar(0x81))};
        // UTF-8 forms of surrogates (ED A0 80 .. ED BF BF) are no UTF-8: such
        // bytes are 1252 text; the neighbours U+D7FF and U+E000 are UTF-8.
        QTest::newRow("1252 í NBSP €: surrogate U+D800")
            << Text{u("í\u00A0€"), 3, "\xED\xA0\x80", false, u("í\u00A0€")};
        QTest::newRow("1252 í ¿ ¿: surrogate U+DFFF") << Text{u("í¿¿"), 3, "\xED\xBF\xBF", false, u("í¿¿")};
        QTest::newRow("UTF-8 U+D7FF U+E000")
            << Text{u("\uD7FF\uE000"), 6, "\xED\x9F\xBF\xEE\x80\x80", false, u("\uD7FF\uE000")};
    }
    void textFields()
    {
        QFETCH(Text, t);
        bool wasCut = !t.cut;
        QCOMPARE(encodeText(t.text, t.width, &wasCut), t.bytes);
        QCOMPARE(wasCut, t.cut);
        QCOMPARE(decodeText(t.bytes), t.readBack);
    }

    // Where the sound of a project is looked for ('@': the project's folder, which holds scream.wav, a file "noSound"
    // and a folder "sound" with another scream.wav).
    void soundLookup_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("found");
        QTest::newRow("noSound") << "  noSound   " << "noSound";
        QTest::newRow("blank") << "     " << "";
        QTest::newRow("where it was saved") << "@sound/scream.wav  " << "@sound/scream.wav";
        QTest::newRow("Windows path, beside the project") << "C:\\Shows\\scream.wav  " << "@scream.wav";
        QTest::newRow("nowhere") << "C:\\Shows\\other.wav  " << "C:\\Shows\\other.wav";
        QTest::newRow("a folder is no sound") << "/gone/sound" << "/gone/sound";
    }
    void soundLookup()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("sound");
        for (const char* name : {"scream.wav", "noSound", "sound/scream.wav"})
            QVERIFY(testwav::write(dir.filePath(name), "x"));
        QFETCH(QString, stored);
        QFETCH(QString, found);
        const QString folder = dir.path() + '/';
        QCOMPARE(soundPathFor(stored.replace('@', folder), dir.filePath("show.pjt")), found.replace('@', folder));
    }

    void openingAppliesInOrder()
    {
        mk::test::EightServoTracks tracks(127, 129);
        mk::ServoTrack& jaw = *tracks.tracks[0];
        jaw.setMaxframe(9);
        for (int k = 0; k <= 9; ++k)
            mk::test::putAt(jaw, k, qint16(50 + k));
        tracks.tracks[1]->setMaxValue(250); // 127..250

        layout::File f{.frames = 3, .positions = {{1, 2, 3, 4}, {9, 9, 9, 9}}};
        f.servos[0] = {false, 1, 200, 250, true, "Jaw"}; // minimum 200 is refused: the maximum is still 129
        f.servos[1] = {true, 1, 100, 101, false, " Eye"}; // 100 < 250 taken, then 101 > 100 taken
        const ReadResult r = read(f.bytes());
        QCOMPARE(r.status, Status::Ok);
        applyToTracks(r.project, tracks.all());

        // The boxes show a name without its padding (text typed after it then
        // stays within the 32 characters saved); a leading blank is the name's.
        const auto dump = [&](int i) {
            mk::ServoTrack& t = *tracks.tracks[size_t(i)];
            QString s = QStringLiteral("%1..%2 %3%4 '%5'(%6)").arg(t.minValue()).arg(t.maxValue())
                            .arg(t.playbackEnabled() ? "on" : "off", t.isReversed() ? " reversed" : "")
                            .arg(t.nameBoxText()).arg(t.servoName().size());
            for (int k = 0; k <= t.datalength(); ++k)
                s += ' ' + QString::number(t.at(k));
            return s;
        };
        // The longer track keeps its tail; the shorter ones grow to F + 1.
        QCOMPARE(dump(0), "127..250 off reversed 'Jaw'(32) 1 2 3 4 54 55 56 57 58 59");
        QCOMPARE(dump(1), "100..101 on ' Eye'(32) 9 9 9 9");
        QCOMPARE(dump(7), "127..129 on 'Servo Name'(32) 0 0 0 0");
    }

    void failedSavesKeepThePreviousFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("show.pjt");
        layout::File small;
        QVERIFY(testwav::write(path, small.bytes()));
        const Project big = projectFrom(showFile(20000, true));

        // Half way through, the file on disk is still the previous one: a kill at that moment leaves it whole.
        int checked = 0;
        WriteResult r = saveFile(path, big, [&](int track, qint32) {
            if (track == 4 && checked++ == 0)
                QCOMPARE(mk::test::readFile(path), small.bytes());
        });
        QVERIFY(r.ok && checked > 0);
        QCOMPARE(QFileInfo(path).size(), 604 + 16 * 20001 + 4 + 29);

        // A write that fails half way (the file size limit stands in for a full disk): the previous file stays,
        // nothing is left beside it, and the message gives the system's reason. The small file sits in the write
        // buffer until it goes out at the end.
        QVERIFY(saveFile(path, projectFrom(small), {}).ok);
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, SIG_IGN);
        for (const auto& [limit, frames] : {std::pair{100'000, 20000}, std::pair{1000, 100}}) {
            struct rlimit limited = old;
            limited.rlim_cur = rlim_t(limit);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            r = saveFile(path, projectFrom(showFile(frames, true)));
            setrlimit(RLIMIT_FSIZE, &old);
            QCOMPARE(std::tuple(r.ok, r.error.description),
                     std::tuple(false, "Device I/O error: " + QString::fromLocal8Bit(strerror(EFBIG))));
            QCOMPARE(mk::test::readFile(path), small.bytes());
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"show.pjt"});
        }

        // A folder that is a file cannot take the file (a missing one: test_projectcommands' messages).
        r = saveFile(dir.filePath("show.pjt/show.pjt"), big);
        QCOMPARE(std::tuple(r.ok, r.error.number, r.error.description.left(24)),
                 std::tuple(false, 75, QStringLiteral("Path/File access error: ")));
    }
};

QTEST_GUILESS_MAIN(tst_projectfile)
#include "tst_projectfile.moc"
