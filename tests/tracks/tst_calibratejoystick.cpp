// The joystick calibration dialog against SDL's virtual joystick: the live
// gauges, the set buttons as every track receives them, and how a track then
// maps a reading. The rules of the set buttons are tst_dialogmath's.
#include <QPushButton>
#include <QTest>

#include <SDL.h>

#include "platform/Joystick.h"
#include "tracks/EightTracks.h"
#include "tracks/calibrateJoystick.h"

class tst_CalibrateJoystick : public QObject {
    Q_OBJECT
    SDL_Joystick* m_stick = nullptr;

    void plugIn()
    {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 2, 0);
        QVERIFY2(index >= 0, SDL_GetError());
        m_stick = SDL_JoystickOpen(index);
        QVERIFY2(m_stick, SDL_GetError());
    }
    void unplug()
    {
        const SDL_JoystickID id = SDL_JoystickInstanceID(m_stick);
        SDL_JoystickClose(m_stick);
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id)
                SDL_JoystickDetachVirtual(i);
    }
    /// Puts the stick where it reads x, y, z (0..32767).
    void stickAt(int x, int y, int z)
    {
        SDL_JoystickSetVirtualAxis(m_stick, 0, Sint16(x * 2 - 32768));
        SDL_JoystickSetVirtualAxis(m_stick, 1, Sint16(y * 2 - 32768));
        SDL_JoystickSetVirtualAxis(m_stick, 2, Sint16(z * 2 - 32768));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The test's own hold on SDL's joystick system.
        QCOMPARE(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    }

    void calibrateAndMap()
    {
        mk::SdlJoystick joystick;
        mk::test::EightTracks tracks(joystick);
        calibrateJoystick dialog(joystick, tracks.lookup());
        dialog.setNumberOfSliders(7);
        auto click = [&](const char* name) {
            QTest::mouseClick(dialog.findChild<QPushButton*>(name), Qt::LeftButton);
        };
        auto everyTrackHolds = [&](const QList<int>& expected) {
            for (const auto& t : tracks.tracks) {
                QList<int> got;
                for (int c = 0; c < 4; ++c)
                    got << t->track().calibrationLow(c) << t->track().calibrationHigh(c);
                if (got != expected)
                    return false;
            }
            return true;
        };

        auto spans = [&] {
            QStringList tips;
            for (int c = 0; c < 4; ++c)
                tips << dialog.findChild<QWidget*>(QStringLiteral("slider%1").arg(c))->toolTip();
            return tips;
        };
        const QString full = QStringLiteral("Bottom 0, top 32768");
        QCOMPARE(spans(), QStringList({full, full, full, full}));

        // No joystick: the gauges read 0; the tracks keep their own defaults
        // until a button is pressed.
        dialog.show();
        QVERIFY(dialog.polling());
        QVERIFY(everyTrackHolds({0, 32767, 0, 32767, 0, 32767, 0, 32767}));
        click("saveSettingsButton");
        QVERIFY(everyTrackHolds({1, 32767, 1, 32767, 1, 32767, 1, 32767}));

        plugIn();
        stickAt(1000, 20000, 7);
        QTRY_COMPARE(dialog.calibration().gauge(1).value, 20000);
        QCOMPARE(dialog.calibration().gauge(2).value, 7);
        click("setMin0");
        stickAt(5000, 15000, 7);
        QTRY_COMPARE(dialog.calibration().gauge(0).value, 5000); // then at rest
        click("setMax0");
        click("setMin3");
        QVERIFY(everyTrackHolds({1000, 5000, 1, 32767, 1, 32767, 0, 32767}));
        QTest::qWait(30); // polls of a stick at rest redraw nothing: the set button shows the span
        QCOMPARE(spans().first(), QStringLiteral("Bottom 1000, top 5000"));
        stickAt(9000, 0, 0);
        QTRY_COMPARE(dialog.calibration().gauge(1).value, 0);
        QCOMPARE(dialog.calibration().gauge(0).value, 5000); // held within X's span

        // X's measured travel now spans a servo's whole range.
        NewSlider& t = tracks[4];
        t.setPlaybackEnabled(true);
        t.setRecordingEnabled(true);
        t.setMaxValue(200);
        t.setMinValue(100);
        t.setUsesJoystick(true);
        SDL_JoystickSetVirtualButton(m_stick, 0, SDL_PRESSED);
        const std::pair<int, int> mapped[] = {{3000, 150}, {1000, 100}, {5000, 200}, {1060, 102}};
        for (const auto& [x, position] : mapped) {
            stickAt(x, 0, 0);
            t.setCurrentFrame(0);
            QCOMPARE(t.position(), position);
        }

        // A stick moved while the dialog is hidden shows as it opens.
        dialog.hide();
        stickAt(3000, 0, 0);
        dialog.show();
        QCOMPARE(dialog.calibration().gauge(0).value, 3000);

        // Unplugged: a set button takes 0, nothing fails.
        unplug();
        click("setMin2");
        click("setMax2");
        QVERIFY(everyTrackHolds({1000, 5000, 1, 32767, 0, 1, 0, 32767}));

        // Close (or the close box) hides, stops polling, keeps the values.
        click("cancelButton");
        QVERIFY(!dialog.isVisible() && !dialog.polling());
        dialog.show();
        dialog.close();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.calibration().high(0), 5000);
    }
};

QTEST_MAIN(tst_CalibrateJoystick)
#include "tst_calibratejoystick.moc"
