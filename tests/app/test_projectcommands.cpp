// The project commands through the main window: the dialogs and their texts,
// the bytes on disk against the layout, what opening applies and what a
// refused file leaves alone, the sound's Locate and same-folder rules, failed
// saves, New Project, the close box, and a show that plays the same after a
// save and an open in another window.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "support/LayoutBuilder.h"
#include "app/CommandLine.h"
#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "sound/TestWav.h"
#include "sound/graphWindow.h"
#include "support/Files.h"
#include "support/PseudoTerminal.h"
#include "support/RunProgram.h"
#include "support/WindowRig.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"
#include "tracks/SetupServo.h"

using mk::test::PseudoTerminal;

namespace {

const QChar CR(13);

struct Rig : mk::test::WindowRig {
    PseudoTerminal pty;

    Rig() { open({pty.slavePath(), "/nonexistent/b", "/nonexistent/c", "/nonexistent/d"}); }
    ~Rig() { w.reset(); } // the window closes its port before the terminal goes
    /// Tracks of frames 0..frames with a recognisable recording.
    void record(qint32 frames)
    {
        for (int i = 0; i < 8; ++i) {
            w->slider(i)->setMaxframe(frames);
            for (qint32 k = 1; k <= frames; k += 1 + i) {
                w->slider(i)->setDataStartPoint(k);
                w->slider(i)->setData(qint16(1 + (k * (i + 3)) % 255));
            }
        }
        w->slider(2)->setIsReversed(true);
        w->slider(2)->setMaxValue(200);
        w->slider(2)->setMinValue(60);
        w->slider(5)->setPlaybackEnabled(false);
        w->slider(6)->setServoName(QString::fromUtf8("Kopf → links, a rather long name"));
        w->countdownTimer()->setDuration(4);
        w->countdownTimer()->setEnabled(true);
    }
    /// The layout of what record() leaves in the window.
    layout::File expected(qint32 frames)
    {
        layout::File f;
        f.frames = frames;
        f.positions.resize(8);
        for (int i = 0; i < 8; ++i) {
            f.positions[i] = QList<int>(frames + 1, 0);
            for (qint32 k = 1; k <= frames; k += 1 + i)
                f.positions[i][k] = 1 + (k * (i + 3)) % 255;
        }
        f.servos[2].reversed = true;
        f.servos[2].min = 60;
        f.servos[2].max = 200;
        f.servos[5].active = false;
        f.servos[6].name = QString::fromUtf8("Kopf → links, a rather long name").toUtf8();
        f.duration = 4;
        f.enabled = true;
        return f;
    }
    QByteArray file(const QString& p) const { return mk::test::readFile(p); }
    void write(const QString& p, const QByteArray& bytes) const { QVERIFY(testwav::write(p, bytes)); }
    /// Plays frame 0 and `frames` more from the start with the port open;
    /// the wire's bytes from Play on.
    QByteArray play(int frames)
    {
        if (!w->MSComm()->PortOpen())
            w->ports().selectPort(1);
        w->rewindClicked();
        pty.drain();
        w->spacePressed();
        QByteArray wire = pty.read(24);
        for (int k = 1; k <= frames; ++k) {
            ticks.advance(34);
            w->SMPTEtimer()->tick();
            wire += pty.read(24);
        }
        w->stopClicked();
        return wire;
    }
};

QString text(const mk::ScriptedDialogs& d, int i) { return d.messages.value(i).text; }

} // namespace

class TestProjectCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveAsThenSave_data();
    void saveAsThenSave();
    void settingsOnly();
    void cancelsChangeNothing();
    void openAppliesTheFile();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void soundIsFoundBesideTheProject_data();
    void soundIsFoundBesideTheProject();
    void failedSaves();
    void progressAndNothingElseWhileBusy();
    void longSoundPathIsToldOnce();
    void showPlaysAlikeAfterSaveAndOpen();
    void oneTrackProjectKeepsItsFrames();
    void newProject();
    void closeBoxAsks_data();
    void closeBoxAsks();
    void openOnTheCommandLine();
    void dialogsOpenInTheShowsFolder();
};

void TestProjectCommands::saveAsThenSave_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("typed");
    QTest::newRow("F=1") << 1 << "one.pjt";
    QTest::newRow("F=300, typed without extension") << 300 << "show";
}

void TestProjectCommands::saveAsThenSave()
{
    QFETCH(int, frames);
    QFETCH(QString, typed);
    Rig rig;
    rig.record(frames);
    rig.dialogs.paths << rig.path(typed);
    rig.trigger("fileSaveAs");
    const QString saved = typed.endsWith(".pjt") ? rig.path(typed) : rig.path(typed + ".pjt");
    const auto& req = rig.dialogs.fileRequests.at(0);
    QCOMPARE(req.title, QStringLiteral("Save Project As"));
    QCOMPARE(req.filter, QStringLiteral("Project Files  *.pjt|*.pjt|All Files  *.*|*.*"));
    QCOMPARE(QFileInfo(req.fileName).fileName(), QStringLiteral("Untitled.pjt"));
    QCOMPARE(rig.w->windowTitle(), "MarionetteKit - " + QFileInfo(saved).fileName() + "[*]");
    QCOMPARE(rig.w->projectFile(), saved);
    QVERIFY(!rig.w->findChild<convertAudio*>()); // hidden and unloaded
    layout::File f = rig.expected(frames);
    f.marker = true;
    QCOMPARE(rig.file(saved), f.bytes());
    QVERIFY(rig.dialogs.messages.isEmpty());

    // Save Project: the same file without the end marker; title unchanged.
    rig.w->setWindowTitle("unchanged");
    rig.trigger("fileSave");
    f.marker = false;
    QCOMPARE(rig.file(saved), f.bytes());
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("unchanged"));
    QCOMPARE(rig.dialogs.fileRequests.size(), 1);
}

void TestProjectCommands::settingsOnly()
{
    Rig rig;
    rig.record(0); // as at start-up: Save As falls back to the settings
    rig.dialogs.paths << rig.path("setup.pjt");
    rig.trigger("fileSaveAs");
    layout::File f = rig.expected(1);
    f.version = "02";
    f.positions.clear();
    QCOMPARE(rig.file(rig.path("setup.pjt")), f.bytes());
    QCOMPARE(rig.w->projectFile(), rig.path("setup.pjt"));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));

    // The settings file opens like a project of one frame with all positions
    // 0; a longer track keeps its later frames.
    Rig other;
    other.w->slider(3)->setMaxframe(5);
    other.w->slider(3)->setDataStartPoint(5);
    other.w->slider(3)->setData(77);
    QCOMPARE(other.w->openProjectFile(rig.path("setup.pjt")), mk::project::ReadResult::Status::Ok);
    QCOMPARE(other.w->slider(2)->minValue(), 60);
    QCOMPARE(other.w->slider(0)->datalength(), 1);
    QCOMPARE(other.w->slider(3)->datalength(), 5);
    QCOMPARE(other.w->slider(3)->track().at(5), 77);
    QCOMPARE(other.w->slider(3)->track().at(1), 0);
}

void TestProjectCommands::cancelsChangeNothing()
{
    Rig rig;
    rig.record(30);
    // Save As: the progress dialog goes again, nothing is written.
    rig.trigger("fileSaveAs");
    QCOMPARE(rig.w->projectFile(), QStringLiteral("not previously saved"));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));
    QVERIFY(!rig.w->findChild<convertAudio*>());
    QVERIFY(QDir(rig.dir.path()).isEmpty());
    // Quit, Yes, then a cancelled save: the program stays open.
    rig.w->show();
    rig.dialogs.answers << mk::MessageAnswer::Yes;
    rig.trigger("fileQuit");
    QVERIFY(rig.w->isVisible());
    // Open: the transport keeps running.
    rig.w->playClicked();
    rig.trigger("openProject");
    QCOMPARE(rig.dialogs.fileRequests.last().title, QStringLiteral("Open Project"));
    QCOMPARE(rig.dialogs.fileRequests.last().filter, QStringLiteral("Project Files|*.pjt|All Files|*.*"));
    QVERIFY(rig.w->SMPTEtimer()->isItRunning());
    // New Project answered No.
    rig.dialogs.answers << mk::MessageAnswer::No;
    rig.trigger("newProject");
    QCOMPARE(rig.w->slider(0)->maxframe(), 30);
    QVERIFY(rig.dialogs.messages.size() == 2);
}

void TestProjectCommands::openAppliesTheFile()
{
    // What reaches the tracks, and in which order, is the codec's test; here
    // what the window adds.
    Rig rig;
    layout::File f;
    f.frames = 3;
    f.servos[0] = {false, 1, 10, 250, true, "Jaw"};
    f.positions = {{5, 300, 255, 9}};
    f.duration = 3;
    f.enabled = true;
    rig.write(rig.path("a.pjt"), f.bytes());
    rig.dialogs.paths << rig.path("a.pjt");
    rig.w->setUpServo(0);
    rig.w->playClicked();
    rig.trigger("openProject");
    QVERIFY(!rig.w->SMPTEtimer()->isItRunning()); // stopped first
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - a.pjt[*]"));
    QCOMPARE(rig.w->projectFile(), rig.path("a.pjt"));
    QVERIFY(!rig.w->hasSound());
    QCOMPARE(rig.w->slider(0)->maxValue(), 250);
    // The set-up dialog shows what was opened; the name comes without its
    // padding, so text typed after it is saved with it.
    SetupServo* setup = rig.w->setupServo();
    QCOMPARE(QList<int>({setup->minVal()->value(), setup->maxVal()->value()}), QList<int>({10, 250}));
    QVERIFY(setup->reverse()->isChecked());
    auto* nameBox = rig.w->slider(0)->findChild<QLineEdit*>("theServoName");
    nameBox->end(false);
    QTest::keyClicks(nameBox, " Left");
    QCOMPARE(setup->customName()->text() + "|" + rig.w->slider(0)->servoName(),
             "Jaw Left|" + QStringLiteral("Jaw Left").leftJustified(32));
    QCOMPARE(rig.w->countdownTimer()->duration(), 3);
    QVERIFY(rig.w->countdownTimer()->enabled());
    QVERIFY(!rig.w->findChild<convertAudio*>());
    QVERIFY(rig.dialogs.messages.isEmpty());
    // The Open dialog offers the name it last held.
    rig.trigger("openProject");
    QCOMPARE(rig.dialogs.fileRequests.last().fileName, rig.path("a.pjt"));
}

void TestProjectCommands::refusedFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    layout::File f;
    f.frames = 2;
    f.servos[0].name = "Changed";
    const QByteArray whole = f.bytes();
    QTest::newRow("not a project: no word") << QByteArray("hello") << "";
    QTest::newRow("cut in the sound name") << whole.left(400)
        << "There was an error while trying to open your file.\r62 Input past end of file: the file ends in the "
           "sound file name";
    // Opening a pipe would wait for a writer for ever.
    QTest::newRow("a pipe") << QByteArray("<fifo>")
        << "There was an error while trying to open your file.\r75 Path/File access error: %1 is not a project "
           "file but a folder, device or pipe; choose a .pjt file";
    f.servos = QList<layout::Servo>(9);
    QTest::newRow("N = 8") << f.bytes()
        << "There was an error while trying to open your file.\r9 Subscript out of range: the file has 9 servo "
           "tracks, MarionetteKit has 8";
}

void TestProjectCommands::refusedFilesChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    Rig rig;
    rig.record(10);
    const QString bad = rig.path("bad.pjt");
    if (bytes == "<fifo>")
        QCOMPARE(mkfifo(QFile::encodeName(bad).constData(), 0600), 0);
    else
        rig.write(bad, bytes);
    rig.dialogs.paths << bad;
    rig.trigger("openProject");
    if (message.isEmpty()) {
        QVERIFY(rig.dialogs.messages.isEmpty());
    } else {
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QCOMPARE(text(rig.dialogs, 0), message.contains("%1") ? message.arg(bad) : message);
        QCOMPARE(rig.dialogs.messages[0].title, QStringLiteral("Open Error"));
        QCOMPARE(rig.dialogs.messages[0].icon, mk::MessageIcon::Exclamation);
    }
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));
    QCOMPARE(rig.w->projectFile(), QStringLiteral("not previously saved"));
    QCOMPARE(rig.w->slider(0)->servoName(), QStringLiteral("Servo Name").leftJustified(32));
    QCOMPARE(rig.w->slider(2)->minValue(), 60);
    QCOMPARE(rig.w->slider(0)->maxframe(), 10);
    QCOMPARE(rig.w->slider(0)->track().at(4), 1 + (4 * 3) % 255);
}

void TestProjectCommands::soundIsFoundBesideTheProject_data()
{
    QTest::addColumn<QString>("stored");   // %1: the folder of the project
    QTest::addColumn<bool>("beside");      // scream.wav lies beside the project
    QTest::addColumn<bool>("asked");       // the Locate prompt came up
    QTest::addColumn<bool>("soundLoaded");
    QTest::newRow("path exists") << "%1/sounds/scream.wav" << false << false << true;
    QTest::newRow("Windows path, file beside") << "C:\\Shows\\scream.wav" << true << false << true;
    QTest::newRow("moved Unix path, file beside") << "/gone/scream.wav" << true << false << true;
    QTest::newRow("moved, nowhere: Locate, cancelled") << "/gone/scream.wav" << false << true << false;
}

void TestProjectCommands::soundIsFoundBesideTheProject()
{
    QFETCH(QString, stored);
    QFETCH(bool, beside);
    QFETCH(bool, asked);
    QFETCH(bool, soundLoaded);
    Rig rig;
    QDir(rig.dir.path()).mkpath("shows/sounds");
    const QString folder = rig.path("shows");
    const QByteArray wav = testwav::canonical(2, 44100, 16, QByteArray(4000, '\0'));
    testwav::write(folder + "/sounds/scream.wav", wav);
    if (beside)
        testwav::write(folder + "/scream.wav", wav);
    layout::File f;
    f.sound = QString(stored).replace("%1", folder).toUtf8();
    rig.write(folder + "/show.pjt", f.bytes());
    rig.dialogs.answers << mk::MessageAnswer::Cancel; // the Locate prompt, if any
    rig.w->openProjectFile(folder + "/show.pjt");
    QCOMPARE(!rig.dialogs.messages.isEmpty(), asked);
    if (asked)
        QCOMPARE(rig.dialogs.messages[0].title, QStringLiteral("Can't find the sound file"));
    QCOMPARE(rig.w->hasSound(), soundLoaded);
    const QString expected = beside ? folder + "/scream.wav" : asked ? "noSound" : folder + "/sounds/scream.wav";
    QCOMPARE(rig.w->graphWindow()->cFileName(), expected);
    QCOMPARE(rig.w->slider(0)->datalength(), 1); // the sound does not size the tracks
}

void TestProjectCommands::failedSaves()
{
    Rig rig;
    rig.record(50);
    // Save As into a folder that cannot be written: the message names the
    // failure, and title and current file stay, so Save Project still goes
    // to the file last saved.
    const bool root = geteuid() == 0;
    QDir(rig.dir.path()).mkdir("locked");
    QFile::setPermissions(rig.path("locked"), QFile::ReadOwner | QFile::ExeOwner);
    const QString target = root ? QStringLiteral("/proc/show.pjt") : rig.path("locked/show.pjt");
    rig.dialogs.paths << target;
    rig.trigger("fileSaveAs");
    QCOMPARE(rig.dialogs.messages.size(), 1);
    QVERIFY2(text(rig.dialogs, 0).startsWith(QStringLiteral("There was an error while saving.") + CR + "7"),
             qPrintable(text(rig.dialogs, 0)));
    QCOMPARE(rig.dialogs.messages[0].title, QStringLiteral("Save Error"));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));
    QCOMPARE(rig.w->projectFile(), QStringLiteral("not previously saved"));
    QVERIFY(!rig.w->findChild<convertAudio*>());
    QVERIFY(!rig.w->isBusy());
    QFile::setPermissions(rig.path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Settings only: its own sentence, with a capital S.
    rig.dialogs.messages.clear();
    for (int i = 0; i < 8; ++i)
        rig.w->slider(i)->setMaxframe(0);
    rig.dialogs.paths << target;
    rig.trigger("fileSaveAs");
    QVERIFY2(text(rig.dialogs, 0).startsWith(QStringLiteral("There was an error while Saving.") + CR),
             qPrintable(text(rig.dialogs, 0)));
    QCOMPARE(rig.w->projectFile(), QStringLiteral("not previously saved"));

    // Save Project with a track shorter than the others: it has nothing
    // recorded past its end.
    rig.record(50);
    rig.dialogs.paths << rig.path("keep.pjt");
    rig.trigger("fileSaveAs");
    rig.w->slider(4)->setDatalength(10);
    rig.trigger("fileSave");
    layout::File f = rig.expected(50);
    std::fill(f.positions[4].begin() + 11, f.positions[4].end(), 0);
    QCOMPARE(rig.file(rig.path("keep.pjt")), f.bytes());
}

void TestProjectCommands::progressAndNothingElseWhileBusy()
{
    Rig rig;
    rig.record(40000);
    rig.w->show();
    // Looks in while the save lets events through.
    QStringList seen;
    bool blocked = true;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!rig.w->isBusy())
            return;
        if (auto* d = rig.w->findChild<convertAudio*>())
            seen << d->windowTitle() + "|" + d->stageLabel()->text() + "|" + d->percentLabel()->text();
        const int requests = rig.dialogs.fileRequests.size();
        rig.w->menuItem("openProject")->trigger();
        QTest::keyClick(rig.w->slider(0)->findChild<QSlider*>(), Qt::Key_Space);
        blocked = blocked && rig.dialogs.fileRequests.size() == requests && !rig.w->SMPTEtimer()->isItRunning()
            && !rig.w->menuBar()->isEnabled();
    });
    probe.start();
    rig.dialogs.paths << rig.path("busy.pjt");
    rig.trigger("fileSaveAs");
    probe.stop();
    QVERIFY(blocked);
    QVERIFY(seen.size() >= 8);
    QVERIFY2(seen.contains("Saving Project|Saving Servo 0's Data|.00%"), qPrintable(seen.join("\n")));
    QVERIFY2(seen.contains("Saving Project|Saving Servo 7's Data|.00%"), qPrintable(seen.join("\n")));
    QVERIFY(rig.w->menuBar()->isEnabled() && !rig.w->isBusy());

    // Opening: the dialog's own title, one stage per track.
    seen.clear();
    probe.start();
    rig.w->openProjectFile(rig.path("busy.pjt"));
    probe.stop();
    QVERIFY(blocked);
    QVERIFY2(seen.contains("Converting for CD playback|Loading data for servos|0.00%"), qPrintable(seen.join("\n")));
    QVERIFY2(seen.contains("Converting for CD playback|Loading data for servo #3|0.00%"), qPrintable(seen.join("\n")));
}

void TestProjectCommands::longSoundPathIsToldOnce()
{
    Rig rig;
    QString folder = rig.dir.path();
    while (folder.size() < 260)
        folder += "/a-rather-long-folder-name-for-sounds";
    QDir().mkpath(folder);
    testwav::write(folder + "/scream.wav", testwav::canonical(2, 44100, 16, QByteArray(4000, '\0')));
    rig.w->importSoundFile(folder + "/scream.wav");
    QCOMPARE(rig.w->graphWindow()->cFileName(), folder + "/scream.wav");
    rig.dialogs.paths << rig.path("long.pjt");
    rig.trigger("fileSaveAs");
    QCOMPARE(rig.dialogs.messages.size(), 1);
    QVERIFY(text(rig.dialogs, 0).contains("longer than 255 characters"));
    QCOMPARE(rig.file(rig.path("long.pjt")).mid(604 - 255, 255), (folder + "/scream.wav").toUtf8().left(255));

    Rig other;
    other.dialogs.answers << mk::MessageAnswer::Cancel;
    other.w->openProjectFile(rig.path("long.pjt"));
    QCOMPARE(other.dialogs.messages.value(0).title, QStringLiteral("Can't find the sound file"));
}

void TestProjectCommands::showPlaysAlikeAfterSaveAndOpen()
{
    Rig rig;
    rig.record(40);
    const QByteArray before = rig.play(12);
    QCOMPARE(before.size(), 13 * 24);
    rig.dialogs.paths << rig.path("show.pjt");
    rig.trigger("fileSaveAs");

    Rig other; // another run of the program
    other.dialogs.paths << rig.path("show.pjt");
    other.trigger("openProject");
    QCOMPARE(other.play(12), before);
}

void TestProjectCommands::oneTrackProjectKeepsItsFrames()
{
    // Track 1 lies outside a one-track project: its length is no measure.
    Rig rig;
    layout::File f;
    f.frames = 300;
    f.servos.resize(1);
    f.positions = {QList<int>(301, 0)};
    f.positions[0][300] = 99;
    rig.write(rig.path("one.pjt"), f.bytes());
    QCOMPARE(rig.w->openProjectFile(rig.path("one.pjt")), mk::project::ReadResult::Status::Ok);
    rig.trigger("fileSave");
    QCOMPARE(rig.file(rig.path("one.pjt")), f.bytes());
    rig.dialogs.paths << rig.path("as.pjt");
    rig.trigger("fileSaveAs");
    f.marker = true;
    QCOMPARE(rig.file(rig.path("as.pjt")), f.bytes());
}

void TestProjectCommands::newProject()
{
    Rig rig;
    rig.record(20);
    rig.w->slider(1)->setMaxValue(250);
    rig.w->slider(1)->setMinValue(140);
    rig.w->slider(3)->setWhichJoystickChannel(2);
    rig.w->slider(3)->setUsesJoystick(true);
    rig.dialogs.paths << rig.path("x.pjt");
    rig.trigger("fileSaveAs");
    rig.w->ports().selectPort(1);
    rig.w->setUpServo(1);
    rig.pty.drain();
    rig.dialogs.answers << mk::MessageAnswer::Yes;
    rig.trigger("newProject");
    const auto& m = rig.dialogs.messages.last();
    QCOMPARE(m.text, QStringLiteral("Creating a new project will cause all current data to be lost.") + CR
                         + "Do you wish to continue?");
    QCOMPARE(m.title, QStringLiteral("Warning"));
    QCOMPARE(m.buttons, mk::MessageButtons::YesNo);
    QCOMPARE(m.icon, mk::MessageIcon::Exclamation);
    QCOMPARE(rig.w->projectFile(), QStringLiteral("not previously saved"));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("MarionetteKit - Untitled[*]"));
    QVERIFY(!rig.w->hasSound());
    QCOMPARE(rig.w->graphWindow()->cFileName(), QStringLiteral("noSound"));
    QCOMPARE(rig.w->countdownTimer()->duration(), 10);
    QVERIFY(rig.w->countdownTimer()->enabled());
    for (int i = 0; i < 8; ++i) {
        NewSlider* s = rig.w->slider(i);
        QCOMPARE(s->maxframe(), 1);
        QCOMPARE(s->datalength(), 1);
        QVERIFY(s->playbackEnabled());
        QVERIFY(!s->isReversed());
        QVERIFY(!s->usesJoystick());
        QCOMPARE(s->whichJoystickChannel(), 0);
        QCOMPARE(s->servoName(), QStringLiteral("Servo Name").leftJustified(32));
        QCOMPARE(s->position(), 128);
        // Also servo 1, whose minimum 140 refused the first maximum.
        QCOMPARE(QList<int>({s->minValue(), s->maxValue()}), QList<int>({127, 129}));
    }
    // The set-up dialog shows servo 1 as it now is; no servo moved.
    SetupServo* setup = rig.w->setupServo();
    QCOMPARE(setup->whichservo(), 1);
    QCOMPARE(setup->customName()->text(), QStringLiteral("Servo Name"));
    QCOMPARE(QList<int>({setup->minVal()->value(), setup->maxVal()->value()}), QList<int>({127, 129}));
    QCOMPARE(rig.pty.read(1, 100), QByteArray());
}

void TestProjectCommands::closeBoxAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("saved");
    QTest::newRow("Cancel keeps the window") << int(mk::MessageAnswer::Cancel) << false << false;
    QTest::newRow("No closes") << int(mk::MessageAnswer::No) << true << false;
    QTest::newRow("Yes saves and closes") << int(mk::MessageAnswer::Yes) << true << true;
}

void TestProjectCommands::closeBoxAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, saved);
    Rig rig;
    rig.dialogs.paths << rig.path("box.pjt");
    rig.trigger("fileSaveAs");
    QFile::remove(rig.path("box.pjt"));
    rig.record(5);
    rig.w->show();
    rig.dialogs.answers << mk::MessageAnswer(answer);
    QCloseEvent box;
    QSpontaneKeyEvent::setSpontaneous(&box); // as from the window's close box
    qApp->notify(rig.w.get(), &box); // sendEvent would clear the flag
    QCOMPARE(rig.dialogs.messages.size(), 1);
    QCOMPARE(text(rig.dialogs, 0), QStringLiteral("Save before quitting?"));
    QCOMPARE(rig.dialogs.messages[0].title, QStringLiteral("Quit MarionetteKit"));
    QCOMPARE(box.isAccepted(), closes);
    QCOMPARE(QFile::exists(rig.path("box.pjt")), saved);
}

void TestProjectCommands::openOnTheCommandLine()
{
    QString out, err;
    int code = -1;
    auto parsed = mk::parseCommandLine({"marionettekit", "--open", "/shows/a.pjt", "--port", "2"}, out, err, code);
    QVERIFY(parsed);
    QCOMPARE(parsed->projectFile, QStringLiteral("/shows/a.pjt"));
    // Paths relative to where the program started are stored absolute.
    parsed = mk::parseCommandLine({"marionettekit", "--open", "shows/a.pjt", "--sound", "a.wav"}, out, err, code);
    QCOMPARE(parsed->projectFile, QDir::current().absoluteFilePath("shows/a.pjt"));
    QCOMPARE(parsed->soundFile, QDir::current().absoluteFilePath("a.wav"));
    QVERIFY(!mk::parseCommandLine({"marionettekit", "--open"}, out, err, code) && code == 2);
    mk::parseCommandLine({"marionettekit", "--help"}, out, err, code);
    QVERIFY(out.contains("--open <file>"));

    // The program itself: a project built from the layout opens at start-up
    // (a screenshot run reports the messages it met on standard error).
    QTemporaryDir dir;
    layout::File f;
    f.servos[0].name = "From the command line";
    QVERIFY(testwav::write(dir.filePath("cli.pjt"), f.bytes()));
    QVERIFY(testwav::write(dir.filePath("junk.pjt"), "junk"));
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe.pjt")).constData(), 0600), 0);
    struct Case {
        QString file;
        QString stderrHas;
    };
    for (const Case& c : {Case{dir.filePath("cli.pjt"), ""}, Case{dir.filePath("junk.pjt"), "is not a MarionetteKit project"},
                          Case{dir.filePath("none.pjt"), "53 File not found"},
                          Case{dir.filePath("pipe.pjt"), "is not a project file"}}) {
        const auto run = mk::test::runProgram(MK_BINARY, {"--open", c.file, "--screenshot", dir.filePath("shot.png")});
        const QString errText = run.err;
        QCOMPARE(run.status, 0);
        if (c.stderrHas.isEmpty())
            QVERIFY2(!errText.contains("Open Error") && !errText.contains("not a MarionetteKit"), qPrintable(errText));
        else
            QVERIFY2(errText.contains(c.stderrHas), qPrintable(errText));
    }
}

// The project's folder, else the folder last chosen in (kept across starts);
// Save As offers the project's own name.
void TestProjectCommands::dialogsOpenInTheShowsFolder()
{
    QTemporaryDir config; // settings of its own: other tests remember folders too
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    Rig rig;
    QDir(rig.dir.path()).mkpath("sounds");
    QDir(rig.dir.path()).mkpath("shows");
    rig.write(rig.path("sounds/a.wav"), testwav::canonical(2, 44100, 16, QByteArray(4000, '\0')));
    rig.dialogs.paths << "" << rig.path("sounds/a.wav") << "" << rig.path("shows/show.pjt") << "" << "";
    for (const char* item : {"openProject", "importSound", "openProject", "fileSaveAs", "fileSaveAs", "importSound"})
        rig.trigger(item);
    QStringList offered;
    for (const auto& r : rig.dialogs.fileRequests)
        offered << QString(r.fileName).replace(rig.dir.path(), "~");
    QCOMPARE(offered, QStringList({"", "Sound.wav", "~/sounds", "~/sounds/Untitled.pjt", "~/shows/show.pjt",
                                   "~/shows/Sound.wav"}));
    Rig next; // a later start: no project yet, the folder last used
    next.trigger("importSound");
    QCOMPARE(next.dialogs.fileRequests.at(0).fileName, rig.path("shows/Sound.wav"));
}

QTEST_MAIN(TestProjectCommands)
#include "test_projectcommands.moc"
