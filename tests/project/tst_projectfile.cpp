// The project file without a window: bytes against the layout, reading files
// made from the layout, round trips, damaged files, text fields, the order in
// which a project reaches the tracks, and saves that fail.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

#include "support/LayoutBuilder.h"
#include "platform/Joystick.h"
#include "project/ProjectFile.h"
#include "sound/TestWav.h"
#include "support/Files.h"
#include "tracks/ServoTrack.h"

using namespace mk::project;
using Status = ReadResult::Status;

namespace {

Project projectFrom(const layout::File& f)
{
    Project p;
    p.version = f.version;
    p.frameCount = qint32(f.frames);
    p.lastServoIndex = quint8(f.servos.size() - 1);
    for (const auto& s : f.servos)
        p.servos.push_back({s.active, quint8(s.device), qint16(s.min), qint16(s.max), s.reversed,
                            decodeText(layout::text(s.name, 32))});
    p.soundName = decodeText(layout::text(f.sound, 255));
    for (int i = 0; i < f.servos.size(); ++i) {
        std::vector<qint16> column(size_t(f.frames) + 1, 0);
        for (int k = 0; i < f.positions.size() && k < f.positions[i].size() && k <= f.frames; ++k)
            column[size_t(k)] = qint16(f.positions[i][k]);
        p.positions.push_back(column);
    }
    p.countdownDuration = qint16(f.duration);
    p.countdownEnabled = f.enabled;
    p.hasEndMarker = f.marker;
    return p;
}

layout::File showFile(qint64 frames, bool marker)
{
    layout::File f;
    f.frames = frames;
    f.marker = marker;
    f.servos[0] = {true, 1, 20, 240, false, "Jaw"};
    f.servos[1] = {false, 1, 1, 255, true, "Left eye \xE9\x80"}; // Windows-1252 é€
    f.servos[2] = {true, 1, 90, 91, true, "\xE9\xA0\xAD turn"}; // UTF-8 頭
    f.servos[7].name = "A name that is much longer than thirty-two bytes";
    f.sound = "/home/haunt/Shows/scream.wav";
    f.positions = {{0, 128, 255, 1}, {}, {7}, {}, {}, {}, {}, {}};
    for (qint64 k = 0; k <= frames; ++k)
        f.positions[3] << int(k * 7 % 256);
    f.duration = 7;
    f.enabled = true;
    return f;
}

struct Tracks {
    mk::FixedJoystick joystick;
    std::vector<mk::ServoTrack> storage;
    std::vector<mk::ServoTrack*> ptrs;
    Tracks()
    {
        storage.reserve(8);
        for (int i = 0; i < 8; ++i) {
            storage.emplace_back(joystick);
            storage.back().setPlaybackEnabled(true);
        }
        for (auto& t : storage)
            ptrs.push_back(&t);
    }
    std::span<mk::ServoTrack* const> span() const { return ptrs; }
};

} // namespace

class tst_projectfile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writerMatchesLayout_data();
    void writerMatchesLayout();
    void readerReadsLayout_data();
    void readerReadsLayout();
    void refusesDamagedFiles_data();
    void refusesDamagedFiles();
    void everyTruncationIsRefused();
    void textFields_data();
    void textFields();
    void openingAppliesInOrder();
    void progressAtEvery200th();
    void failedSavesKeepThePreviousFile();
};

void tst_projectfile::writerMatchesLayout_data()
{
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<bool>("marker");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("F=0") << qint64(0) << false << QByteArray("03");
    QTest::newRow("settings only") << qint64(1) << false << QByteArray("02");
    QTest::newRow("F=300, Save As") << qint64(300) << true << QByteArray("03");
    QTest::newRow("F=40000, above 16 bits") << qint64(40000) << true << QByteArray("03");
}

void tst_projectfile::writerMatchesLayout()
{
    QFETCH(qint64, frames);
    QFETCH(bool, marker);
    QFETCH(QByteArray, version);
    layout::File f = showFile(frames, marker);
    f.version = version;
    const QByteArray expected = f.bytes();
    WriteResult r;
    const QByteArray written = encode(projectFrom(f), &r);
    QVERIFY(r.ok);
    QCOMPARE(written, expected);
    // And back: the file reads as the project it was written from.
    const ReadResult back = read(written);
    QCOMPARE(back.status, Status::Ok);
    QCOMPARE(back.project, projectFrom(f));
}

void tst_projectfile::readerReadsLayout_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lastIndex");
    QTest::addColumn<int>("frame2OfTrack0");
    QTest::addColumn<QString>("sound");
    QTest::addColumn<bool>("soundLoaded");
    QTest::addColumn<bool>("marker");

    layout::File f;
    f.frames = 2;
    f.positions = {{0, 0, 300}};
    QTest::newRow("high byte dropped: 300 reads 44") << f.bytes() << 7 << 44 << "noSound" << false << false;
    f.positions = {{0, 0, -1}};
    f.sound = "  noSound";
    QTest::newRow("-1 reads 255; blank noSound") << f.bytes() << 7 << 255 << "noSound" << false << false;
    f.sound = "C:\\Shows\\scream.wav";
    f.marker = true;
    QTest::newRow("Windows path, marker") << f.bytes() << 7 << 255 << "C:\\Shows\\scream.wav" << true << true;
    QTest::newRow("trailing bytes ignored") << f.bytes() + "junk" << 7 << 255 << "C:\\Shows\\scream.wav" << true
                                            << true;
    f.marker = false;
    f.servos = QList<layout::Servo>(2);
    QTest::newRow("N = 1") << f.bytes() << 1 << 255 << "C:\\Shows\\scream.wav" << true << false;
    f.servos = QList<layout::Servo>(8);
    f.version = "99";
    QTest::newRow("version not looked at") << f.bytes() << 7 << 255 << "C:\\Shows\\scream.wav" << true << false;
}

void tst_projectfile::readerReadsLayout()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, lastIndex);
    QFETCH(int, frame2OfTrack0);
    QFETCH(QString, sound);
    QFETCH(bool, soundLoaded);
    QFETCH(bool, marker);
    const ReadResult r = read(bytes);
    QCOMPARE(r.status, Status::Ok);
    QCOMPARE(int(r.project.lastServoIndex), lastIndex);
    QCOMPARE(int(r.project.positions.size()), lastIndex + 1);
    QCOMPARE(int(r.project.positions[0][2]), frame2OfTrack0);
    QCOMPARE(r.project.soundName.size(), 255);
    QCOMPARE(r.project.soundFileName(), sound);
    QCOMPARE(r.project.soundLoaded(), soundLoaded);
    QCOMPARE(r.project.hasEndMarker, marker);
    QCOMPARE(r.project.servos[0].name, QStringLiteral("Servo Name").leftJustified(32));
}

void tst_projectfile::refusesDamagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("reason");

    const int notProject = int(Status::NotAProject), failed = int(Status::Failed);
    layout::File f;
    QTest::newRow("empty") << QByteArray() << notProject << 0 << "";
    QTest::newRow("other program") << QByteArray("RIFF....WAVEfmt ") << notProject << 0 << "";
    QTest::newRow("case differs") << "marionetteKit03" + f.bytes().mid(15) << notProject << 0 << "";
    f.frames = -1;
    QTest::newRow("F = -1") << f.bytes() << failed << 321 << "frame count is -1";
    f.frames = 1;
    // A frame count the rest of the file does not back.
    const auto claiming = [&](qint64 frames) { return f.bytes().left(15) + layout::le32(frames) + f.bytes().mid(19); };
    QTest::newRow("F = int32 max") << claiming(0x7FFFFFFF) << failed << 321 << "too short for its frame count";
    QTest::newRow("F = 1e6, short file") << claiming(1'000'000) << failed << 62 << "positions of servo 0";
    f.servos = QList<layout::Servo>(9);
    QTest::newRow("N = 8") << f.bytes() << failed << 9 << "9 servo tracks";
    f.servos = QList<layout::Servo>(256);
    QTest::newRow("N = 255") << f.bytes() << failed << 9 << "256 servo tracks";
}

void tst_projectfile::refusesDamagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(int, number);
    QFETCH(QString, reason);
    const ReadResult r = read(bytes);
    QCOMPARE(int(r.status), status);
    QCOMPARE(r.error.number, number);
    QVERIFY2(r.error.description.contains(reason), qPrintable(r.error.description));
    QVERIFY(r.project.positions.empty());
}

void tst_projectfile::everyTruncationIsRefused()
{
    layout::File f;
    f.frames = 3;
    f.marker = true;
    const QByteArray whole = f.bytes();
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
        if (size < 13) {
            QCOMPARE(r.status, Status::NotAProject);
            continue;
        }
        QCOMPARE(r.status, Status::Failed);
        QCOMPARE(r.error.number, 62);
        QCOMPARE(r.error.description, "Input past end of file: the file ends in " + where(size));
    }
}

void tst_projectfile::textFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("ascii padded") << "Jaw" << 6 << QByteArray("Jaw   ") << false << "Jaw   ";
    QTest::newRow("ascii cut") << "Jawbone" << 4 << QByteArray("Jawb") << true << "Jawb";
    QTest::newRow("1252: é €") << QString::fromUtf8("é€") << 3 << QByteArray("\xE9\x80 ") << false
                               << QString::fromUtf8("é€ ");
    QTest::newRow("UTF-8: 頭") << QString::fromUtf8("頭x") << 5 << QByteArray("\xE9\xA0\xAD" "x ") << false
                               << QString::fromUtf8("頭x ");
    QTest::newRow("UTF-8 cut at a character") << QString::fromUtf8("xé頭") << 4 << QByteArray("x\xC3\xA9 ") << true
                                             << QString::fromUtf8("xé ");
    QTest::newRow("UTF-8 emoji pair kept whole") << QString::fromUtf8("😀😀") << 6 << QByteArray("\xF0\x9F\x98\x80  ")
                                                << true << QString::fromUtf8("😀  ");
    QTest::newRow("1252 bytes that look like UTF-8") << QString::fromUtf8("Ã©") << 5 << QByteArray("\xC3\x83\xC2\xA9 ")
                                                   << false << QString::fromUtf8("Ã© ");
    QTest::newRow("1252 hole 0x81") << QString(QChar(0x81)) << 1 << QByteArray("\x81") << false
                                    << QString(QChar(0x81));
}

void tst_projectfile::textFields()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, cut);
    QFETCH(QString, readBack);
    bool wasCut = !cut;
    QCOMPARE(encodeText(text, width, &wasCut), bytes);
    QCOMPARE(wasCut, cut);
    QCOMPARE(decodeText(bytes), readBack);
}

void tst_projectfile::openingAppliesInOrder()
{
    Tracks t;
    mk::ServoTrack& first = t.storage[0];
    first.setMaxframe(9);
    for (int k = 0; k <= 9; ++k) {
        first.setDataStartPoint(k);
        first.setData(qint16(50 + k));
    }
    mk::ServoTrack& second = t.storage[1];
    second.setMaxValue(250); // 127..250

    layout::File f;
    f.frames = 3;
    f.servos[0] = {false, 1, 200, 250, true, "Jaw"}; // minimum 200 is refused: the maximum is still 129
    f.servos[1] = {true, 1, 100, 101, false, " Eye"}; // 100 < 250 taken, then 101 > 100 taken
    f.positions = {{1, 2, 3, 4}, {9, 9, 9, 9}};
    const ReadResult r = read(f.bytes());
    QCOMPARE(r.status, Status::Ok);
    applyToTracks<mk::ServoTrack>(r.project, t.span());

    QCOMPARE(first.minValue(), 127);
    QCOMPARE(first.maxValue(), 250);
    QVERIFY(!first.playbackEnabled());
    QVERIFY(first.isReversed());
    QCOMPARE(first.servoName(), QStringLiteral("Jaw").leftJustified(32));
    // The boxes show a name without its padding (text typed after it then
    // stays within the 32 characters saved); a leading blank is the name's.
    QCOMPARE(first.nameBoxText() + "|" + second.nameBoxText(), QStringLiteral("Jaw| Eye"));
    QCOMPARE(first.datalength(), 9); // the longer track keeps its tail
    const QList<int> expectFirst{1, 2, 3, 4, 54, 55, 56, 57, 58, 59};
    for (int k = 0; k <= 9; ++k)
        QCOMPARE(int(first.at(k)), expectFirst[k]);
    QCOMPARE(second.minValue(), 100);
    QCOMPARE(second.maxValue(), 101);
    QCOMPARE(second.datalength(), 3); // grown from two frames to F + 1
    QCOMPARE(t.storage[7].datalength(), 3);
    QCOMPARE(int(t.storage[7].at(3)), 0);
}

void tst_projectfile::progressAtEvery200th()
{
    layout::File f;
    f.frames = 450;
    f.servos = QList<layout::Servo>(2);
    QList<QPair<int, int>> seen;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(write(buffer, projectFrom(f), [&](int i, qint32 k) { seen.append({i, k}); }).ok);
    const QList<QPair<int, int>> expected{{0, 0}, {0, 200}, {0, 400}, {1, 0}, {1, 200}, {1, 400}};
    QCOMPARE(seen, expected);
    QCOMPARE(bytes, f.bytes());
}

void tst_projectfile::failedSavesKeepThePreviousFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("show.pjt");
    layout::File small;
    QVERIFY(testwav::write(path, small.bytes()));
    const Project big = projectFrom(showFile(20000, true));

    // Half way through, the file on disk is still the previous one: a kill at
    // that moment leaves it whole.
    bool checked = false;
    WriteResult r = saveFile(path, big, [&](int track, qint32) {
        if (track == 4 && !checked) {
            QCOMPARE(mk::test::readFile(path), small.bytes());
            checked = true;
        }
    });
    QVERIFY(r.ok && checked);
    QCOMPARE(QFileInfo(path).size(), 604 + 16 * 20001 + 4 + 29);

    // A write that fails half way (the file size limit stands in for a full
    // disk): the previous file stays, nothing is left beside it, and the
    // message gives the system's reason. The small file sits in the write
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
        QVERIFY(!r.ok);
        QCOMPARE(r.error.description, "Device I/O error: " + QString::fromLocal8Bit(strerror(EFBIG)));
        QCOMPARE(mk::test::readFile(path), small.bytes());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"show.pjt"});
    }

    // A folder that cannot be written (root writes anywhere but /proc).
    QDir(dir.path()).mkdir("locked");
    QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
    const QString locked = geteuid() == 0 ? QStringLiteral("/proc/show.pjt") : dir.filePath("locked/show.pjt");
    r = saveFile(locked, big);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.number == 70 || r.error.number == 75, qPrintable(r.error.description));
    QVERIFY(!QFile::exists(locked));
    QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_GUILESS_MAIN(tst_projectfile)
#include "tst_projectfile.moc"
