// The joystick calibration dialog against SDL's virtual joystick: live
// gauges, the set buttons and Save Settings as every track receives them,
// and how a track then maps a reading.
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

#include <SDL.h>

#include "platform/Joystick.h"
#include "tracks/NewSlider.h"
#include "tracks/calibrateJoystick.h"

namespace {

/// The SDL axis value that reads as r (0..32767).
int axisFor(int r)
{
    return r * 2 - 32768;
}

struct Rig {
    mk::SdlJoystick joystick;
    SDL_Joystick* stick = nullptr;
    std::vector<std::unique_ptr<NewSlider>> tracks;
    std::unique_ptr<calibrateJoystick> dialog;

    Rig()
    {
        for (int i = 0; i < 8; ++i)
            tracks.push_back(std::make_unique<NewSlider>(joystick));
        dialog = std::make_unique<calibrateJoystick>(
            joystick, [this](int i) { return i >= 0 && i < int(tracks.size()) ? tracks[i].get() : nullptr; });
        dialog->setNumberOfSliders(7);
    }
    ~Rig() { unplug(); }
    void plugIn()
    {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 2, 0);
        QVERIFY2(index >= 0, SDL_GetError());
        stick = SDL_JoystickOpen(index);
        QVERIFY2(stick, SDL_GetError());
    }
    void unplug()
    {
        if (!stick)
            return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(stick);
        SDL_JoystickClose(stick);
        stick = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id)
                SDL_JoystickDetachVirtual(i);
    }
    void stickAt(int x, int y, int z)
    {
        SDL_JoystickSetVirtualAxis(stick, 0, Sint16(axisFor(x)));
        SDL_JoystickSetVirtualAxis(stick, 1, Sint16(axisFor(y)));
        SDL_JoystickSetVirtualAxis(stick, 2, Sint16(axisFor(z)));
    }
    void click(const QString& button)
    {
        auto* b = dialog->findChild<QPushButton*>(button);
        QVERIFY2(b, qPrintable(button));
        QTest::mouseClick(b, Qt::LeftButton);
    }
    /// Low and high of channels 0 to 3 as track t holds them.
    QList<int> pairs(int t) const
    {
        QList<int> v;
        for (int c = 0; c < 4; ++c)
            v << tracks[t]->track().calibrationLow(c) << tracks[t]->track().calibrationHigh(c);
        return v;
    }
    bool allTracksHold(const QList<int>& expected) const
    {
        for (int t = 0; t < 8; ++t)
            if (pairs(t) != expected)
                return false;
        return true;
    }
};

} // namespace

class tst_CalibrateJoystick : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The test's own hold on SDL's joystick system, so virtual sticks can
        // be attached before any dialog reads.
        QCOMPARE(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    }

    void buttonsLoadEveryTrack()
    {
        Rig rig;
        QCOMPARE(rig.dialog->windowTitle(), QStringLiteral("Calibrate Joystick"));
        QCOMPARE(rig.dialog->findChild<QPushButton*>("saveSettingsButton")->text(), QStringLiteral("Save Settings"));
        QCOMPARE(rig.dialog->findChild<QPushButton*>("cancelButton")->text(), QStringLiteral("Close"));
        // The tracks keep their own defaults until a button is pressed.
        QVERIFY(rig.allTracksHold({0, 32767, 0, 32767, 0, 32767, 0, 32767}));
        rig.click("saveSettingsButton");
        QVERIFY(rig.allTracksHold({1, 32767, 1, 32767, 1, 32767, 1, 32767}));

        rig.plugIn();
        rig.stickAt(1000, 20000, 300);
        rig.click("setMin0");
        QCOMPARE(rig.dialog->calibration().gauge(0).min, 1000);
        QVERIFY(rig.allTracksHold({1000, 32767, 1, 32767, 1, 32767, 1, 32767}));
        rig.click("setMin1");
        rig.stickAt(5000, 15000, 300);
        rig.click("setMax0");
        rig.click("setMax1"); // below its bottom: one above it
        rig.click("setMin3"); // no axis: the gauge stays, the tracks still load
        QCOMPARE(rig.dialog->calibration().gauge(1).max, 20001);
        QCOMPARE(rig.dialog->calibration().gauge(3).min, 0);
        QVERIFY(rig.allTracksHold({1000, 5000, 20000, 20001, 1, 32767, 0, 32767}));

        // Unplugged mid-way: a reading of 0, nothing fails.
        rig.unplug();
        rig.click("setMin2");
        rig.click("setMax2");
        QVERIFY(rig.allTracksHold({1000, 5000, 20000, 20001, 0, 1, 0, 32767}));

        // The tracks now map X's measured travel onto a servo's whole range.
        rig.plugIn();
        NewSlider& t = *rig.tracks[4];
        t.setPlaybackEnabled(true);
        t.setRecordingEnabled(true);
        t.setMaxValue(200);
        t.setMinValue(100);
        t.setWhichJoystickChannel(0);
        t.setUsesJoystick(true);
        SDL_JoystickSetVirtualButton(rig.stick, 0, SDL_PRESSED);
        const std::pair<int, int> readings[] = {{3000, 150}, {1000, 100}, {5000, 200}, {1060, 102}};
        int frame = 0;
        for (const auto& [x, position] : readings) {
            rig.stickAt(x, 0, 0);
            t.setCurrentFrame(frame++);
            QCOMPARE(t.position(), position);
        }
    }

    void livePollWhileShown()
    {
        Rig rig;
        rig.plugIn();
        rig.stickAt(12000, 30000, 7);
        QVERIFY(!rig.dialog->polling());
        rig.dialog->show();
        QVERIFY(rig.dialog->polling());
        QTRY_COMPARE(rig.dialog->calibration().gauge(0).value, 12000);
        QCOMPARE(rig.dialog->calibration().gauge(1).value, 30000);
        QCOMPARE(rig.dialog->calibration().gauge(2).value, 7);
        rig.click("setMax0"); // the gauge's span now ends at 12000
        rig.stickAt(20000, 30000, 7);
        QTRY_COMPARE(rig.dialog->calibration().gauge(1).value, 30000);
        QTRY_COMPARE(rig.dialog->calibration().gauge(0).value, 12000); // held within the span
        rig.unplug();
        QTRY_COMPARE(rig.dialog->calibration().gauge(1).value, 0);

        // Close hides; the values stay for the next showing.
        rig.click("cancelButton");
        QVERIFY(!rig.dialog->isVisible());
        QVERIFY(!rig.dialog->polling());
        rig.dialog->show();
        QCOMPARE(rig.dialog->calibration().gauge(0).max, 12000);
        rig.dialog->close(); // the close box does the same
        QVERIFY(!rig.dialog->isVisible());
        QCOMPARE(rig.dialog->calibration().high(0), 12000);
    }
};

QTEST_MAIN(tst_CalibrateJoystick)
#include "tst_calibratejoystick.moc"
