// A sound through the main window: Import Sound, then the show it paces.
// Scrubbing with a sound is a row set of test_mainform's scrub.
#include <sys/stat.h>

#include "sound/SndWrite.h"
#include "support/WindowRig.h"

using Rig = mk::test::WindowRig;

namespace {
struct Cut { int recorded, lengthMs; std::optional<mk::MessageAnswer> answer; bool replaced; int maxframe; };
} // namespace
Q_DECLARE_METATYPE(Cut)

class TestSoundImport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A sound the view cannot read as it is: converted beside it, the user told once where, reused the next time; a
    // Cancel halfway or a cancelled Import leaves the loaded sound (and no half-written file). What the view says about
    // a bad file is tst_graphWindow's business; here the recording survives the failed load (or an unmeasured sound).
    void otherSoundsConvertedBadOnesRefused()
    {
        Rig rig;
        rig.sound.lengthMs = 1000;
        const QString flac = rig.path("scream.flac");
        QVERIFY(sndtest::write(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 2, 1.0, sndtest::sine(440, 0.5)));
        rig.import(flac);
        const QString converted = rig.path("scream (for MarionetteKit).wav");
        const auto state = [&] {
            return mk::test::fields(rig.dialogs.messages.size(), rig.w->graphWindow()->cFileName(), rig.w->hasSound(),
                                    rig.w->slider(0)->maxframe());
        };
        QCOMPARE(state(), "1 " + converted + " true 30");
        QVERIFY(rig.dialogs.messages[0].text.contains(converted));
        rig.import(flac);
        QCOMPARE(state(), "1 " + converted + " true 30");

        const QString longer = rig.path("long.ogg");
        QVERIFY(sndtest::write(longer, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 48000, 1, 20.0, sndtest::sine(440, 0.5)));
        auto* dialog = rig.w->convertAudio();
        QObject::connect(dialog->ProgressBar(), &QProgressBar::valueChanged, dialog, [dialog](int v) {
            if (v >= 30)
                dialog->Command1()->click();
        });
        rig.import(longer);
        QCOMPARE(state(), "1 " + converted + " true 30");
        QVERIFY(!QFile::exists(rig.path("long (for MarionetteKit).wav")) && !dialog->isVisible());
        rig.w->playClicked();
        rig.trigger("importSound"); // no path scripted: cancel
        QVERIFY(!rig.w->SMPTEtimer()->isItRunning()); // the transport was stopped first
        QCOMPARE(state(), "1 " + converted + " true 30");

        rig.sound.lengthMs = 10000;
        rig.import(rig.wav("good.wav"));
        rig.fill(-1, 200, 200, [](int) { return 99; });
        const QString bad = rig.path("notes.wav");
        testwav::write(bad, QByteArray("this is not a sound file at all, just text"));
        rig.import(bad);
        QVERIFY(rig.dialogs.messages.size() == 2 && rig.w->graphWindow()->cFileName() == "noSound");
        // A pipe is refused at once: reading it would wait for a writer.
        const QString pipe = rig.path("pipe.wav");
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        rig.import(pipe);
        QCOMPARE(rig.dialogs.messages.size(), 3);
        QCOMPARE(rig.told(2), mk::test::shown::soundPipe.arg(pipe));
        auto* track = rig.w->slider(2);
        QCOMPARE(mk::test::fields(rig.w->hasSound(), track->maxframe(), track->track().at(200)), "false 300 99");

        // Nothing of the previous sound is left to scrub or play.
        rig.sound.commands.clear();
        for (int x : {250, 200, 150})
            QTest::mouseClick(rig.w->graphWindow(), Qt::LeftButton, {}, QPoint(x, 50));
        rig.w->playClicked();
        QCOMPARE(mk::test::fields(rig.sound.plays().size(), rig.w->SMPTEtimer()->frameNumber(), track->maxframe(),
                                  track->datalength()),
                 QStringLiteral("0 0 300 300"));
    }

    // A sound of `lengthMs` sizes the tracks and puts the cursor and the clock (at frame 77) at the start. Rows with
    // a recording at frame `recorded` of a 10 s show (300 frames) before: asked first when positions would be cut off.
    void sizesTracksToTheSound_data()
    {
        QTest::addColumn<Cut>("row");
        QTest::newRow("16 ms rounds to frame 0") << Cut{-1, 16, {}, true, 0};
        QTest::newRow("50 ms is 1.5 frames, to even") << Cut{-1, 50, {}, true, 2};
        QTest::newRow("one hour") << Cut{-1, 3600000, {}, true, 108000};
        QTest::newRow("cut off, Yes") << Cut{200, 5000, mk::MessageAnswer::Yes, true, 150};
        QTest::newRow("cut off, No") << Cut{200, 5000, mk::MessageAnswer::No, false, 300};
        QTest::newRow("last frame kept") << Cut{150, 5000, {}, true, 150};
        QTest::newRow("longer sound") << Cut{300, 20000, {}, true, 600};
    }

    void sizesTracksToTheSound()
    {
        QFETCH(Cut, row);
        const auto& [recorded, lengthMs, answer, replaced, maxframe] = row;
        Rig rig;
        const QString first = rig.wav("first.wav");
        if (recorded >= 0) {
            rig.sound.lengthMs = 10000;
            rig.import(first);
            rig.fill(-1, recorded, recorded, [](int) { return 99; });
        }
        rig.w->SMPTEtimer()->setFrameNumber(77);
        rig.sound.lengthMs = lengthMs;
        if (answer)
            rig.dialogs.answers << *answer;
        const QString second = rig.wav("second.wav");
        rig.import(second);

        const auto& req = rig.dialogs.fileRequests.last();
        QCOMPARE(req.title + "|" + req.filter + "|" + QFileInfo(req.fileName).fileName(),
                 QStringLiteral("Import Sound|Wave Audio Files  *.wav|*.wav|All Files|*.*|Sound.wav"));
        QCOMPARE(rig.told(), answer ? mk::test::shown::shorterSound.arg(lengthMs * 3 / 100) : QString());
        // The scrub to the start was handled: the clock is at frame 0.
        QCOMPARE(mk::test::fields(rig.w->hasSound(), rig.w->graphWindow()->cFileName(),
                                  rig.w->graphWindow()->cSoundLengthInMilliseconds(),
                                  rig.w->graphWindow()->cCurrentTimeInMilliseconds(),
                                  rig.w->SMPTEtimer()->frameNumber()),
                 mk::test::fields(true, replaced ? second : first, replaced ? lengthMs : 10000, 0, replaced ? 0 : 77));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(mk::test::fields(rig.w->slider(i)->maxframe(), rig.w->slider(i)->datalength()),
                     mk::test::fields(maxframe, maxframe));
            if (!replaced)
                QCOMPARE(rig.w->slider(i)->track().at(recorded), qint16(99));
        }
    }

    void playEndAndRepeat()
    {
        Rig rig;
        rig.loadShow();
        auto* graph = rig.w->graphWindow();
        auto* clock = rig.w->SMPTEtimer();
        auto* countdown = rig.w->countdownTimer();
        graph->setcCurrentTimeInMilliseconds(1000);
        rig.w->playClicked();
        // Running, the frame, the sound's plays and where the last began.
        const auto state = [&] {
            return mk::test::fields(clock->isItRunning(), clock->frameNumber(), rig.sound.plays().size(),
                                    rig.sound.plays().last().from);
        };
        QCOMPARE(state(), QStringLiteral("true 30 1 1000"));

        // Past the end the take is over.
        countdown->setEnabled(true);
        countdown->setDuration(3);
        rig.ticks.advance(1001);
        graph->playUpdateTick();
        QVERIFY(!clock->isItRunning() && countdown->isItRunning());

        // Three seconds later the show starts again from the top.
        rig.ticks.advance(3006);
        countdown->tick();
        QCOMPARE(state(), QStringLiteral("true 0 2 0"));
        rig.tick(); // and runs on
        QCOMPARE(clock->frameNumber(), 1);

        // Rewind stops everything and puts the cursor at the start.
        rig.w->rewindClicked();
        QVERIFY(!clock->isItRunning());
        QCOMPARE(graph->cCurrentTime(), graph->cSoundStart());
        QCOMPARE(rig.sound.commands.last().kind, QStringLiteral("stop"));
    }
};

QTEST_MAIN(TestSoundImport)
#include "test_soundimport.moc"
