// The project commands through the main window: the bytes on disk against the
// layout, and what the window adds to the codec (titles, messages, busy, sound).
#include <sys/stat.h>
#include <unistd.h>

#include "support/Files.h"
#include "support/LayoutBuilder.h"
#include "support/RunProgram.h"
#include "support/WindowRig.h"

namespace {

const QString kUntitled = QStringLiteral("MarionetteKit - Untitled[*]");
const QString kNotSaved = QStringLiteral("not previously saved");
const QString kName = QString::fromUtf8("Kopf → links, a rather long name");

struct Rig : mk::test::WindowRig {
    /// Tracks of frames 0..frames with a recognisable recording.
    void record(qint32 frames)
    {
        for (int i = 0; i < 8; ++i) {
            w->slider(i)->setMaxframe(frames);
            fill(i, 1, frames, [i](qint32 k) { return 1 + (k * (i + 3)) % 255; }, 1 + i);
        }
        setup(2, 60, 200, true);
        w->slider(5)->setPlaybackEnabled(false);
        w->slider(6)->setServoName(kName);
        w->countdownTimer()->setDuration(4);
        w->countdownTimer()->setEnabled(true);
    }
    /// The layout of what record() leaves in the window.
    static layout::File expected(qint32 frames)
    {
        layout::File f{.frames = frames,
                       .positions = QList<QList<int>>(8, QList<int>(frames + 1)),
                       .duration = 4,
                       .enabled = true};
        for (int i = 0; i < 8; ++i)
            for (qint32 k = 1; k <= frames; k += 1 + i)
                f.positions[i][k] = 1 + (k * (i + 3)) % 255;
        f.servos[2] = {true, 1, 60, 200, true, "Servo Name"};
        f.servos[5].active = false;
        f.servos[6].name = kName.toUtf8();
        return f;
    }
    QByteArray file(const QString& name) const { return mk::test::readFile(path(name)); }
    void write(const QString& name, const QByteArray& bytes) const { QVERIFY(testwav::write(path(name), bytes)); }
    /// Opens the port and plays frame 0 and `frames` more from the start; the wire's bytes from Play on.
    QByteArray play(int frames)
    {
        openPort();
        w->rewindClicked();
        return pass(-1, 0, frames);
    }
};

} // namespace

class TestProjectCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A refused file or a failed save: the message told (from Shown.h's one table) and what it leaves behind.
    void messagesTheWindowShows_data()
    {
        namespace shown = mk::test::shown;
        QTest::addColumn<QString>("shown");
        QTest::newRow("open, not a project: no word") << "";
        QTest::newRow("open, cut in the sound name")
            << shown::openError + "62 Input past end of file: the file ends in the sound file name";
        QTest::newRow("open, a pipe")
            << shown::openError + "75 Path/File access error: %1 is not a project file but a folder, device or pipe; "
                                  "choose a .pjt file";
        QTest::newRow("open, 9 servos")
            << shown::openError + "9 Subscript out of range: the file has 9 servo tracks, MarionetteKit has 8";
        QTest::newRow("save into a missing folder") << shown::saveError + "saving.\r75 Path/File access error: …";
        QTest::newRow("save into a locked folder") << shown::saveError + "saving.\r7…";
        QTest::newRow("save settings, missing folder") << shown::saveError + "Saving.\r75 Path/File access error: …";
    }

    void messagesTheWindowShows()
    {
        QFETCH(QString, shown);
        const QString row = QTest::currentDataTag();
        const bool open = row.startsWith("open");
        Rig rig;
        rig.record(open ? 10 : row.startsWith("save into") ? 50 : 0); // 0: Save As falls back to the settings
        const QString file = rig.path(open ? "bad.pjt" : row.contains("locked") ? "locked/show.pjt" : "gone/show.pjt");
        layout::File f{.frames = 2, .servos = QList<layout::Servo>(row.endsWith("9 servos") ? 9 : 8), .positions = {}};
        f.servos[0].name = "Changed";
        if (row.endsWith("a pipe"))
            QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else if (open)
            rig.write("bad.pjt", row.endsWith("no word")      ? QByteArray("hello")
                                 : row.endsWith("sound name") ? f.bytes().left(400)
                                                              : f.bytes());
        if (row.contains("locked")) { // a folder the program cannot write into
            if (geteuid() == 0)
                QSKIP("root writes into any folder");
            QDir(rig.dir.path()).mkdir("locked");
            QFile::setPermissions(rig.path("locked"), QFile::ReadOwner | QFile::ExeOwner);
        }
        rig.dialogs.paths << file;
        rig.trigger(open ? "openProject" : "fileSaveAs");
        // A refused file or a failed save changes nothing: title and current
        // file stay, so Save Project still goes to the file last saved.
        QCOMPARE(rig.w->projectFile() + "|" + rig.w->windowTitle(), kNotSaved + "|" + kUntitled);
        QVERIFY(!rig.w->findChild<convertAudio*>() && !rig.w->isBusy());
        if (open) {
            NewSlider* s = rig.w->slider(0);
            QCOMPARE(mk::test::fields(s->servoName(), rig.w->slider(2)->minValue(), s->maxframe(), s->track().at(4)),
                     QStringLiteral("Servo Name").leftJustified(32) + " 60 10 13"); // 13: 1 + (4 * 3) % 255
        }
        const QString seen = rig.told();
        const QString expected = shown.contains("%1") ? shown.arg(file) : shown;
        if (expected.endsWith(QChar(0x2026)))
            QVERIFY2(seen.startsWith(expected.chopped(1)) && !seen.contains('\n'), qPrintable(seen));
        else
            QCOMPARE(seen, expected);
    }

    void recordSaveReopenAndStartAgain_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("typed");
        QTest::newRow("F=1") << 1 << "one.pjt";
        QTest::newRow("F=300, typed without extension") << 300 << "show";
    }

    // Record, Save Project As, Save Project, open in another run of the program
    // (which plays the same), then New Project there.
    void recordSaveReopenAndStartAgain()
    {
        QFETCH(int, frames);
        QFETCH(QString, typed);
        const QString name = typed.endsWith(".pjt") ? typed : typed + ".pjt";
        Rig rig;
        rig.record(frames);
        const int playedFrames = qMin(frames, 12);
        const QByteArray played = rig.play(playedFrames);
        QCOMPARE(played.size(), (playedFrames + 1) * 24);
        rig.dialogs.paths << rig.path(typed);
        rig.trigger("fileSaveAs");
        const auto& req = rig.dialogs.fileRequests.at(0);
        QCOMPARE(req.title + "|" + req.filter + "|" + QFileInfo(req.fileName).fileName(),
                 QStringLiteral("Save Project As|Project Files  *.pjt|*.pjt|All Files  *.*|*.*|Untitled.pjt"));
        QCOMPARE(rig.w->projectFile() + "|" + rig.w->windowTitle(),
                 rig.path(name) + "|MarionetteKit - " + name + "[*]");
        QVERIFY(!rig.w->findChild<convertAudio*>()); // hidden and unloaded after a save that worked
        layout::File f = Rig::expected(frames);
        f.marker = true;
        QCOMPARE(rig.file(name), f.bytes());
        // Save Project: the same file without the end marker; title unchanged, no dialog. A track shorter than the
        // others (an inactive one, so the show plays the same) has nothing past its end.
        rig.w->setWindowTitle("unchanged");
        rig.w->slider(5)->setDatalength(frames / 2);
        rig.trigger("fileSave");
        f.marker = false;
        std::fill(f.positions[5].begin() + frames / 2 + 1, f.positions[5].end(), 0);
        QCOMPARE(rig.file(name), f.bytes());
        QCOMPARE(mk::test::fields(rig.w->windowTitle(), rig.dialogs.fileRequests.size(), rig.dialogs.messages.size()),
                 QStringLiteral("unchanged 1 0"));

        Rig other;
        other.dialogs.paths << rig.path(name);
        other.trigger("openProject");
        QCOMPARE(other.play(playedFrames), played);
        // New Project, asked first, brings back the start-up set-up, also to a servo whose minimum 140 refused the
        // first maximum; no servo moves.
        other.w->slider(1)->setMaxValue(250);
        other.w->slider(1)->setMinValue(140);
        other.w->slider(3)->setWhichJoystickChannel(2);
        other.w->slider(3)->setUsesJoystick(true);
        other.pty.drain();
        other.dialogs.answers << mk::MessageAnswer::Yes;
        other.trigger("newProject");
        mainForm* w = other.w.get();
        QCOMPARE(mk::test::fields(other.dialogs.messages.size(), w->projectFile(), w->windowTitle(),
                                  w->graphWindow()->cFileName(), w->hasSound(), w->countdownTimer()->duration(),
                                  w->countdownTimer()->enabled()),
                 "1 " + kNotSaved + " " + kUntitled + " noSound false 10 true");
        // Each track: frames, length, active, reversed, joystick, its channel, |name|, position, minimum, maximum.
        for (int i = 0; i < 8; ++i) {
            NewSlider* s = w->slider(i);
            QCOMPARE(mk::test::fields(s->maxframe(), s->datalength(), s->playbackEnabled(), s->isReversed(),
                                      s->usesJoystick(), s->whichJoystickChannel(), '|' + s->servoName() + '|',
                                      s->position(), s->minValue(), s->maxValue()),
                     "1 1 true false false 0 |" + QStringLiteral("Servo Name").leftJustified(32) + "| 128 127 129");
        }
        QCOMPARE(other.pty.read(1, 100), QByteArray());
    }

    // Cancelled commands change nothing. How a settings file opens is the codec's test (tst_projectfile); here the
    // window's fallback to it when nothing is recorded, a sound path longer than the file holds (told on Save As and
    // on Save Settings Only, saved cut short), the saves of a project of fewer than eight tracks, and a file opened
    // during the show: what reaches the tracks, and in which order, is the codec's test, here what the window adds.
    void cancelsSettingsOneTrackAndOpenDuringTheShow()
    {
        Rig rig;
        rig.record(0); // as at start-up: Save As falls back to the settings
        // Save As: nothing is written.
        rig.trigger("fileSaveAs");
        QCOMPARE(rig.w->projectFile() + "|" + rig.w->windowTitle(), kNotSaved + "|" + kUntitled);
        QVERIFY(QDir(rig.dir.path()).isEmpty());
        // Open: the transport keeps running.
        rig.w->playClicked();
        rig.trigger("openProject");
        QCOMPARE(rig.dialogs.fileRequests.last().title + "|" + rig.dialogs.fileRequests.last().filter,
                 QStringLiteral("Open Project|Project Files|*.pjt|All Files|*.*"));
        QVERIFY(rig.w->SMPTEtimer()->isItRunning());
        rig.dialogs.answers << mk::MessageAnswer::No;
        rig.trigger("newProject");
        QCOMPARE(rig.w->slider(0)->maxframe(), 0);
        rig.dialogs.paths << rig.path("setup.pjt");
        rig.trigger("fileSaveAs");
        layout::File f = Rig::expected(1);
        f.version = "02";
        f.positions.clear();
        QCOMPARE(rig.file("setup.pjt"), f.bytes());
        QCOMPARE(rig.w->projectFile() + "|" + rig.w->windowTitle(), rig.path("setup.pjt") + "|" + kUntitled);

        QString folder = rig.dir.path();
        while (folder.size() < 260)
            folder += "/a-rather-long-folder-name-for-sounds";
        QDir().mkpath(folder);
        const QString sound = rig.wav(folder + "/scream.wav");
        rig.w->importSoundFile(sound);
        QCOMPARE(rig.w->graphWindow()->cFileName(), sound);
        rig.dialogs.paths << rig.path("long.pjt") << rig.path("settings.pjt");
        rig.trigger("fileSaveAs");
        rig.trigger("fileSaveSettings");
        for (const char* name : {"long.pjt", "settings.pjt"})
            QCOMPARE(rig.file(name).mid(604 - 255, 255), sound.toUtf8().left(255));

        // Track 1 lies outside a one-track project: its length is no measure.
        f = layout::File{.frames = 300, .servos = QList<layout::Servo>(1), .positions = {QList<int>(301)}};
        f.positions[0][300] = 99;
        rig.write("one.pjt", f.bytes());
        QCOMPARE(rig.w->openProjectFile(rig.path("one.pjt")), mk::project::ReadResult::Status::Ok);
        rig.trigger("fileSave");
        QCOMPARE(rig.file("one.pjt"), f.bytes());
        rig.dialogs.paths << rig.path("as.pjt");
        rig.trigger("fileSaveAs");
        f.marker = true;
        QCOMPARE(rig.file("as.pjt"), f.bytes());

        rig.w->playClicked();
        f = layout::File{.frames = 3, .positions = {{5, 300, 255, 9}}, .duration = 3, .enabled = true};
        f.servos[0] = {false, 1, 10, 250, true, "Jaw"};
        rig.write("a.pjt", f.bytes());
        rig.dialogs.paths << rig.path("a.pjt");
        rig.trigger("openProject");
        QCOMPARE(mk::test::fields(rig.w->SMPTEtimer()->isItRunning(), rig.w->windowTitle(), rig.w->projectFile(),
                                  rig.w->hasSound(), rig.w->slider(0)->maxValue(), rig.w->countdownTimer()->duration(),
                                  rig.w->countdownTimer()->enabled(), bool(rig.w->findChild<convertAudio*>())),
                 "false MarionetteKit - a.pjt[*] " + rig.path("a.pjt") + " false 250 3 true false"); // stopped first
        // The name comes without its padding, so text typed after it is saved with it.
        auto* nameBox = rig.w->slider(0)->findChild<QLineEdit*>("theServoName");
        nameBox->end(false);
        QTest::keyClicks(nameBox, " Left");
        QCOMPARE(rig.w->slider(0)->servoName(), QStringLiteral("Jaw Left").leftJustified(32));
        const QString& longPath = mk::test::shown::longSoundPath;
        QCOMPARE(rig.told(), mk::test::shown::newProject + '\n' + longPath + '\n' + longPath); // and nothing else
    }

    // The lookup's rows are tst_projectfile's soundLookup; here the window's use of it.
    void soundIsFoundBesideTheProject_data()
    {
        QTest::addColumn<QString>("stored"); // %1: the folder of the project
        QTest::addColumn<bool>("beside");    // scream.wav lies beside the project too
        QTest::addColumn<QString>("found");  // the sound loaded; empty: the Locate prompt came up
        QTest::newRow("path exists, one beside too: the path wins") << "%1/sounds/scream.wav" << true
                                                                     << "%1/sounds/scream.wav";
        QTest::newRow("moved Unix path, file beside") << "/gone/scream.wav" << true << "%1/scream.wav";
        QTest::newRow("moved, nowhere: Locate, cancelled") << "/gone/scream.wav" << false << "";
    }

    void soundIsFoundBesideTheProject()
    {
        QFETCH(QString, stored);
        QFETCH(bool, beside);
        QFETCH(QString, found);
        Rig rig;
        QDir(rig.dir.path()).mkpath("shows/sounds");
        const QString folder = rig.path("shows");
        rig.wav(folder + "/sounds/scream.wav");
        if (beside)
            rig.wav(folder + "/scream.wav");
        const layout::File f{.sound = QString(stored).replace("%1", folder).toUtf8(), .positions = {}};
        rig.write("shows/show.pjt", f.bytes());
        rig.dialogs.answers << mk::MessageAnswer::Cancel; // the Locate prompt, if any
        rig.w->openProjectFile(folder + "/show.pjt");
        // The sound does not size the tracks: their length stays 1.
        QCOMPARE(mk::test::fields(rig.dialogs.messages.size(), rig.w->hasSound(), rig.w->graphWindow()->cFileName(),
                                  rig.w->slider(0)->datalength()),
                 found.isEmpty() ? "1 false noSound 1" : "0 true " + found.arg(folder) + " 1");
    }

    void progressAndNothingElseWhileBusy()
    {
        Rig rig;
        rig.record(40000);
        rig.w->show();
        // Looks in while the save lets events through.
        QStringList seen;
        bool blocked = true;
        QTimer probe;
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
        probe.start(0);
        rig.dialogs.paths << rig.path("busy.pjt");
        rig.trigger("fileSaveAs");
        probe.stop();
        QVERIFY(blocked);
        QVERIFY2(seen.contains("Saving Project|Saving Servo 0's Data|.00%"), qPrintable(seen.join("\n")));
        QVERIFY2(seen.contains("Saving Project|Saving Servo 7's Data|.00%"), qPrintable(seen.join("\n")));
        QVERIFY(rig.w->menuBar()->isEnabled() && !rig.w->isBusy());
    }

    // The program itself: a project built from the layout opens at start-up (a
    // screenshot run reports the messages it met on standard error).
    void openOnTheCommandLine()
    {
        QTemporaryDir dir;
        layout::File f;
        f.servos[0].name = "From the command line";
        QVERIFY(testwav::write(dir.filePath("cli.pjt"), f.bytes()));
        QVERIFY(testwav::write(dir.filePath("junk.pjt"), "junk"));
        QCOMPARE(mkfifo(QFile::encodeName(dir.filePath("pipe.pjt")).constData(), 0600), 0);
        const QList<QPair<QString, QString>> cases{{"cli.pjt", ""},
                                                   {"junk.pjt", "is not a MarionetteKit project"},
                                                   {"none.pjt", "53 File not found"},
                                                   {"pipe.pjt", "is not a project file"}};
        for (const auto& [file, says] : cases) {
            const auto run = mk::test::runProgram(
                MK_BINARY, {"--open", dir.filePath(file), "--screenshot", dir.filePath("shot.png")});
            QCOMPARE(run.status, 0);
            if (says.isEmpty())
                QVERIFY2(!run.err.contains("Open Error") && !run.err.contains("not a MarionetteKit"),
                         qPrintable(run.err));
            else
                QVERIFY2(run.err.contains(says), qPrintable(run.err));
        }
    }

    // The project's folder, else the folder last chosen in (kept across starts); Save As offers the project's own name.
    void dialogsOpenInTheShowsFolder()
    {
        QTemporaryDir config; // settings of its own: other tests remember folders too
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        Rig rig;
        QDir(rig.dir.path()).mkpath("sounds");
        QDir(rig.dir.path()).mkpath("shows");
        rig.wav("sounds/a.wav");
        rig.dialogs.paths << "" << rig.path("sounds/a.wav") << "" << rig.path("shows/show.pjt") << "" << "";
        for (const char* item :
             {"openProject", "importSound", "openProject", "fileSaveAs", "fileSaveAs", "importSound"})
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
};

QTEST_MAIN(TestProjectCommands)
#include "test_projectcommands.moc"
