// The joystick and its calibration dialog against SDL's virtual joystick;
// the rules of the set buttons are tst_dialogmath's.
#include <QPushButton>
#include <QTest>

#include <SDL.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Joystick.h"
#include "tracks/EightTracks.h"
#include "tracks/calibrateJoystick.h"

namespace {

QList<quint32> values(const mk::JoystickReading& r) { return {r.x, r.y, r.z, r.buttons}; }
const QList<quint32> kNothing{0, 0, 0, 0};

// A virtual joystick with 3 axes and 2 buttons, opened so its values can be set.
SDL_Joystick* plugIn()
{
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 2, 0);
    return index < 0 ? nullptr : SDL_JoystickOpen(index);
}

void unplug(SDL_Joystick* js)
{
    const SDL_JoystickID id = SDL_JoystickInstanceID(js);
    SDL_JoystickClose(js);
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == id)
            SDL_JoystickDetachVirtual(i);
}

/// Puts the stick where it reads x, y, z (0..32767).
void stickAt(SDL_Joystick* js, int x, int y, int z)
{
    for (int axis : {0, 1, 2})
        SDL_JoystickSetVirtualAxis(js, axis, Sint16(QList<int>{x, y, z}[axis] * 2 - 32768));
}

} // namespace

class tst_Joystick : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Runs first: a forked child inherits whatever signal handlers this process's SDL has installed by then.
    void terminationSignalStillEndsTheProgram()
    {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // As in the program, where nothing else has claimed the signal
            // (the test runner has, and SDL leaves a claimed signal alone).
            std::signal(SIGTERM, SIG_DFL);
            mk::SdlJoystick joystick;
            raise(SIGTERM);
            _exit(0); // still alive: the signal was swallowed
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGTERM);
    }

    void readingsCalibrateAndMap()
    {
        // The test's own hold on the joystick system, independent of SdlJoystick's.
        QCOMPARE(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        mk::SdlJoystick joystick;
        QVERIFY(joystick.available());
        QCOMPARE(SDL_NumJoysticks(), 0);
        QCOMPARE(values(joystick.read()), kNothing);

        SDL_Joystick* js = plugIn();
        QVERIFY2(js, SDL_GetError());
        SDL_JoystickSetVirtualAxis(js, 0, -32768);
        SDL_JoystickSetVirtualAxis(js, 1, 32767);
        SDL_JoystickSetVirtualAxis(js, 2, 1001);
        SDL_JoystickSetVirtualButton(js, 0, SDL_PRESSED);
        // z: (1001 + 32768) / 2, rounded down
        QCOMPARE(values(joystick.read()), QList<quint32>({0, 32767, 16884, 1}));
        SDL_JoystickSetVirtualButton(js, 1, SDL_PRESSED);
        QCOMPARE(joystick.read().buttons, 3u);
        // Polled, so nothing is left queued for an event loop that never comes.
        QCOMPARE(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_JOYAXISMOTION, SDL_JOYBUTTONUP), 0);

        unplug(js);
        QCOMPARE(values(joystick.read()), kNothing);

        // Plugged in again, it is read without being told.
        js = plugIn();
        QVERIFY(js);
        SDL_JoystickSetVirtualButton(js, 0, SDL_PRESSED);
        QCOMPARE(joystick.read().buttons, 1u);
        unplug(js);

        // The calibration dialog over the eight tracks, from no joystick on.
        mk::test::EightTracks tracks(joystick);
        calibrateJoystick dialog(joystick, tracks.lookup());
        dialog.setNumberOfSliders(7);
        auto click = [&](const char* name) { QTest::mouseClick(dialog.findChild<QPushButton*>(name), Qt::LeftButton); };
        auto held = [&] { // low and high of channels 0..3, track after track
            QString s;
            for (const auto& t : tracks.tracks)
                for (int c = 0; c < 4; ++c)
                    s += QStringLiteral("%1 %2 ").arg(t->track().calibrationLow(c)).arg(t->track().calibrationHigh(c));
            return s;
        };
        auto everyTrack = [](const char* v) { return QStringLiteral("%1 ").arg(QLatin1String(v)).repeated(8); };
        // A gauge's tool tip shows its span; channel 4's is only ever drawn as the dialog is made.
        auto span = [&](int c) { return dialog.findChild<QWidget*>(QStringLiteral("slider%1").arg(c))->toolTip(); };
        QCOMPARE(span(3), QStringLiteral("Bottom 0, top 32768"));

        // No joystick: the gauges read 0; the tracks keep their own defaults until a button is pressed.
        dialog.show();
        QVERIFY(dialog.polling());
        QCOMPARE(held(), everyTrack("0 32767 0 32767 0 32767 0 32767"));
        click("saveSettingsButton");
        QCOMPARE(held(), everyTrack("1 32767 1 32767 1 32767 1 32767"));

        SDL_Joystick* stick = plugIn();
        QVERIFY2(stick, SDL_GetError());
        stickAt(stick, 1000, 20000, 7);
        QTRY_COMPARE(dialog.calibration().gauge(1).value, 20000);
        click("setMin0");
        stickAt(stick, 5000, 15000, 7);
        QTRY_COMPARE(dialog.calibration().gauge(0).value, 5000); // then at rest
        click("setMax0");
        click("setMin3");
        QCOMPARE(held(), everyTrack("1000 5000 1 32767 1 32767 0 32767"));
        QTest::qWait(30); // polls of a stick at rest redraw nothing: the set button shows the span
        QCOMPARE(span(0), QStringLiteral("Bottom 1000, top 5000"));

        // X's measured travel now spans a servo's whole range.
        NewSlider& t = tracks[4];
        mk::test::startUp(t, 100, 200);
        t.setUsesJoystick(true);
        SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
        stickAt(stick, 3000, 0, 0);
        t.setCurrentFrame(0);
        QCOMPARE(t.position(), 150); // the mapping's rows are tst_servotrack's

        // A stick moved while the dialog is hidden shows as it opens.
        dialog.hide();
        stickAt(stick, 4000, 0, 0);
        dialog.show();
        QCOMPARE(dialog.calibration().gauge(0).value, 4000);

        // Unplugged: a set button takes 0, nothing fails.
        unplug(stick);
        click("setMin2");
        click("setMax2");
        QCOMPARE(held(), everyTrack("1000 5000 1 32767 0 1 0 32767"));

        // Close hides, stops polling, keeps the values.
        click("cancelButton");
        QVERIFY(!dialog.isVisible() && !dialog.polling());
        QCOMPARE(dialog.calibration().high(0), 5000);
    }
};

QTEST_MAIN(tst_Joystick)
#include "tst_joystick.moc"
