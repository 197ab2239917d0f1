// File > Export Project for CD Playback through the main window, against the
// headless export and the rules of the stream.
#include "CdRules.h"
#include "export/CdExport.h"
#include "support/WindowRig.h"
#include "tracks/SetupServo.h"
#include "tracks/calibrateJoystick.h"

using namespace cdrules;

namespace {

struct Rig : mk::test::WindowRig {
    Rig() : WindowRig(Shown) {}
    /// Loads a 22 050 Hz mono sound of `seconds` as Import Sound does and
    /// records the show of Show::value into every track (F = 30 x seconds).
    QString loadShow(int seconds)
    {
        const QString file = path("show.wav");
        testwav::write(file, testwav::canonical(1, 22050, 16, le16(700).repeated(22050 * seconds)));
        sound.lengthMs = 1000 * seconds;
        w->importSoundFile(file);
        for (int i = 0; i < 8; ++i) {
            w->slider(i)->setMaxValue(255);
            w->slider(i)->setMinValue(1);
            fill(i, 0, w->slider(i)->maxframe(), [i](qint32 f) { return Show::value(i, f); });
        }
        return file;
    }
    void exportTo(const QString& path)
    {
        dialogs.paths << path;
        trigger("fileExportToCD");
    }
};

/// The windows on screen, by object name.
QString windowsShown()
{
    QStringList visible;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible())
            visible << top->objectName();
    visible.sort();
    return visible.join(',');
}

} // namespace

class TestCdExportMenu : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Without a sound the export is refused before anything is asked; with
    // one, a cancelled save dialog writes nothing, after the transport stopped.
    void refusedThenCancelled()
    {
        Rig rig;
        rig.exportTo(rig.path("refused.wav"));
        QVERIFY(rig.dialogs.fileRequests.isEmpty());
        QCOMPARE(rig.told(), mk::test::shown::noSound);
        QVERIFY(!rig.w->convertAudio()->isVisible());
        rig.dialogs.paths.clear();
        rig.loadShow(1);
        rig.w->playClicked();
        rig.trigger("fileExportToCD"); // no path: the dialog is cancelled
        QCOMPARE(rig.dialogs.fileRequests.size(), 1);
        const auto& r = rig.dialogs.fileRequests[0];
        QCOMPARE(r.title + '|' + r.filter + '|' + r.fileName,
                 QStringLiteral("Export for CD playback|Wave audio  *.wav|*.wav|All Files  *.*|*.*|untitled.wav"));
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{"show.wav"});
        QCOMPARE(windowsShown(), QStringLiteral("mainForm"));
    }

    // The menu writes exactly what the headless export writes for the same show (whose sound formats are
    // test_cdcommands' rows), and the progress dialog is the only window meanwhile.
    void sameBytesAsHeadlessExport()
    {
        Rig rig;
        const QString sound = rig.loadShow(2);
        rig.w->showAbout();
        rig.w->setupServo()->show();
        rig.w->calibrateJoystick();
        QCOMPARE(windowsShown(), QStringLiteral("SetupServo,about,calibrateJoystick,mainForm"));
        auto* dialog = rig.w->convertAudio();
        QStringList seen;
        QObject::connect(dialog->ProgressBar(), &QProgressBar::valueChanged, dialog,
                         [&] { seen << dialog->stageLabel()->text() + ": " + windowsShown(); });
        rig.exportTo(rig.path("show for cd")); // the default extension is added
        const QString out = rig.path("show for cd.wav");
        QCOMPARE(rig.told(), mk::test::shown::exported.arg(out));
        QVERIFY(!seen.isEmpty());
        for (const QString& s : seen)
            QVERIFY2(s.endsWith(": convertAudio"), qPrintable(s));
        QVERIFY(seen.last().startsWith("Encoding data into new file."));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Converting For CD Playback"));
        QCOMPARE(dialog->fileLabel()->text(), out);
        QCOMPARE(dialog->percentLabel()->text(), QStringLiteral("100.00%"));
        QCOMPARE(windowsShown(), QStringLiteral("mainForm")); // only the main window comes back
        // Back on a slider, not in a name box, so Space plays again.
        QCOMPARE(rig.w->focusWidget(), rig.w->slider(0)->findChild<QWidget*>("slider"));

        RecordingProgress progress;
        const QString headless = rig.path("headless.wav");
        QCOMPARE(exportShow(sound, headless, 60, progress).status, mk::cd::ExportResult::Status::Complete);
        QCOMPARE(readFile(out), readFile(headless));
    }

    // The file depends on the project alone: after a playback and a dragged slider (track 3 holds nothing in frame 0)
    // a four-track project still gives the stream of the rules, as export-cd does; the window stays.
    void projectAloneMakesTheFile()
    {
        Rig rig;
        const QString sound = rig.path("four.wav");
        testwav::write(sound, testwav::canonical(1, 22050, 16, le16(700).repeated(2 * 22050)));
        testwav::write(rig.path("four.pjt"), projectFile(sound.toLocal8Bit(), 60, 3));
        rig.sound.lengthMs = 2000;
        QCOMPARE(rig.w->openProjectFile(rig.path("four.pjt")), mk::project::ReadResult::Status::Ok);
        rig.w->playClicked();
        for (int k = 0; k < 20; ++k)
            rig.tick();
        rig.w->stopClicked();
        rig.w->slider(3)->setPosition(200);
        const qint32 played = rig.w->slider(0)->track().lastFrame();
        rig.exportTo(rig.path("cd.wav"));
        QCOMPARE(streamDifference(readFile(rig.path("cd.wav")), 60, 3), QString());
        QCOMPARE(rig.w->slider(3)->position(), 200);
        QCOMPARE(rig.w->slider(0)->track().lastFrame(), played);
    }

    void cancelHalfWay()
    {
        Rig rig;
        rig.loadShow(4);
        auto* dialog = rig.w->convertAudio();
        QObject::connect(dialog->ProgressBar(), &QProgressBar::valueChanged, dialog, [dialog](int v) {
            if (v >= 50 && dialog->stageLabel()->text() == QLatin1String("Encoding data into new file."))
                dialog->Command1()->click();
        });
        const QString out = rig.path("half.wav");
        rig.exportTo(out);
        QCOMPARE(rig.told(), mk::test::shown::exportCanceled.arg(out));
        QCOMPARE(windowsShown(), QStringLiteral("mainForm"));
        const QByteArray partial = readFile(out);
        // Frames 0..60 were encoded (the cancel is seen before frame 61); the length fields were never finished.
        QCOMPARE(partial.mid(40, 4), le32(quint32(partial.size() + 1 - 45)));
        const auto last = slot(Show::expected(60));
        for (int j = 0; j < 1470; j += 7)
            QCOMPARE(sample(partial, 44100 + 1470 * 60 + j, true), last[size_t(j)]);
        QCOMPARE(sample(partial, 44100 + 1470 * 61, true), qint16(700));
    }
};

QTEST_MAIN(TestCdExportMenu)
#include "test_cdexport_menu.moc"
