// File > Export Project for CD Playback through the main window, against the rules of the stream.
#include "CdRules.h"
#include "support/WindowRig.h"
#include "tracks/SetupServo.h"

using namespace cdrules;

namespace {

struct Rig : mk::test::WindowRig {
    Rig() : WindowRig(Shown) {}
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
    // Without a sound the export is refused before anything is asked. With one, after the transport stopped: a
    // cancelled save dialog writes nothing; an export writes the stream of the rules on the sound (whose formats are
    // test_cdcommands' rows) with its progress dialog the only window meanwhile; a cancel half way keeps what was
    // encoded.
    void journey()
    {
        Rig rig;
        rig.exportTo(rig.path("refused.wav"));
        QVERIFY(rig.dialogs.fileRequests.isEmpty());
        QCOMPARE(rig.told(), mk::test::shown::noSound);
        QVERIFY(!rig.w->convertAudio()->isVisible());
        rig.dialogs.paths.clear();
        // A 4 s, 22 050 Hz mono sound imported (F = 120), the show recorded into every track.
        const QString sound = rig.path("show.wav");
        testwav::write(sound, testwav::canonical(1, 22050, 16, le16(700).repeated(4 * 22050)));
        rig.sound.lengthMs = 4000;
        rig.w->importSoundFile(sound);
        for (int i = 0; i < 8; ++i) {
            mk::test::startUp(*rig.w->slider(i), 1, 255);
            rig.fill(i, 0, rig.w->slider(i)->maxframe(), [i](qint32 f) { return Show::value(i, f); });
        }
        rig.w->playClicked();
        rig.trigger("fileExportToCD"); // no path: the dialog is cancelled
        QCOMPARE(rig.dialogs.fileRequests.size(), 1);
        const auto& r = rig.dialogs.fileRequests[0];
        QCOMPARE(r.title + '|' + r.filter + '|' + r.fileName,
                 QStringLiteral("Export for CD playback|Wave audio  *.wav|*.wav|All Files  *.*|*.*|untitled.wav"));
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning());
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{"show.wav"});

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
        QCOMPARE(rig.told(1), mk::test::shown::exported.arg(out));
        QVERIFY(!seen.isEmpty() && seen.last().startsWith("Encoding data into new file."));
        for (const QString& s : seen)
            QVERIFY2(s.endsWith(": convertAudio"), qPrintable(s));
        QCOMPARE(QStringList({dialog->windowTitle(), dialog->fileLabel()->text(), dialog->percentLabel()->text()}),
                 QStringList({"Converting For CD Playback", out, "100.00%"}));
        QCOMPARE(windowsShown(), QStringLiteral("mainForm")); // only the main window comes back
        // Back on a slider, not in a name box, so Space plays again.
        QCOMPARE(rig.w->focusWidget(), rig.w->slider(0)->findChild<QWidget*>("slider"));
        const QByteArray file = readFile(out);
        QCOMPARE(streamDifference(file, 120, 7), QString());
        QCOMPARE(sample(file, 44100, false), qint16(700));

        const auto halfWay = QObject::connect(dialog->ProgressBar(), &QProgressBar::valueChanged, dialog, [=](int v) {
            if (v >= 50 && dialog->stageLabel()->text() == QLatin1String("Encoding data into new file."))
                dialog->Command1()->click();
        });
        const QString half = rig.path("half.wav");
        rig.exportTo(half);
        QCOMPARE(rig.told(2), mk::test::shown::exportCanceled.arg(half));
        QCOMPARE(windowsShown(), QStringLiteral("mainForm"));
        const QByteArray partial = readFile(half);
        // Frames 0..60 were encoded (the cancel is seen before frame 61); the length fields were never finished.
        QCOMPARE(partial.mid(40, 4), le32(quint32(partial.size() + 1 - 45)));
        QCOMPARE(streamDifference(partial, 60, 7), QString());
        QCOMPARE(sample(partial, 44100 + 1470 * 61, true), qint16(700));
        QObject::disconnect(halfWay);

        // The file depends on the project alone: after a playback and a dragged slider (track 3 holds nothing in
        // frame 0) a four-track project still gives the stream of the rules, as export-cd does; the window stays.
        testwav::write(rig.path("four.pjt"), projectFile(sound.toLocal8Bit(), 60, 3));
        QCOMPARE(rig.w->openProjectFile(rig.path("four.pjt")), mk::project::ReadResult::Status::Ok);
        rig.w->playClicked();
        for (int k = 0; k < 20; ++k)
            rig.tick();
        rig.w->stopClicked();
        rig.w->slider(3)->setPosition(200);
        const qint32 played = rig.w->slider(0)->track().lastFrame();
        rig.exportTo(rig.path("cd.wav"));
        QCOMPARE(streamDifference(readFile(rig.path("cd.wav")), 60, 3), QString());
        QCOMPARE(std::pair(rig.w->slider(3)->position(), rig.w->slider(0)->track().lastFrame()),
                 std::pair(qint32(200), played));
    }
};

QTEST_MAIN(TestCdExportMenu)
#include "test_cdexport_menu.moc"
