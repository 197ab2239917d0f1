// The track's state and its frame update, without widgets.
#include <QTest>
#include <functional>
#include <limits>

#include "platform/Joystick.h"
#include "support/RuntimeErrors.h"
#include "tracks/EightTracks.h"
#include "tracks/ServoTrack.h"

using mk::ServoTrack;
using mk::test::errorNumber;
using mk::test::putAt;

namespace {

// A track as the main window leaves it after start-up, with a range of 100..200.
struct Fixture {
    mk::FixedJoystick joystick;
    ServoTrack t{joystick};
    Fixture() { mk::test::startUp(t, 100, 200); }
    void calibrate(std::initializer_list<int> values)
    {
        t.setStartCalibrationData(true);
        for (int v : values)
            t.setCalibrationData(qint16(v));
    }
    /// Records `v` at frame f, as a held slider does.
    void record(int f, int v, bool held = true)
    {
        t.setSliderHeld(held);
        t.setPosition(v);
        t.setCurrentFrame(f);
    }
};

// One update of `frame` with data[5] at `recorded` and the slider at 120.
struct Update {
    int frame;
    bool active, playback, recording, reversed, held; // active: the box, playback: the switch
    int recorded;
    const char* sent;
    int stored; // data[5] after
};

} // namespace

Q_DECLARE_METATYPE(Update)

class tst_ServoTrack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void properties()
    {
        mk::NoJoystick none;
        ServoTrack t(none);

        // Range guards; the slider follows and holds its value inside.
        t.setMaxValue(140);
        t.setMinValue(129);
        t.setMaxValue(129);
        t.setMinValue(140);
        QCOMPARE(t.maxValue(), qint16(140));
        t.setMinValue(139);
        QCOMPARE(QList<int>({t.sliderMin(), t.position()}), QList<int>({139, 139}));

        // A name is kept to 32 characters, its box shows all that was typed (padding: tst_newslider).
        const QString forty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCD");
        t.setServoName(forty);
        QCOMPARE(t.servoName() + "|" + t.nameBoxText(), forty.left(32) + "|" + forty);

        // Eight values fill low/high of channels 0..3; no number of extra writes
        // changes them (the index must not run over either).
        t.setStartCalibrationData(true);
        for (int i = 0; i < 40000; ++i)
            t.setCalibrationData(qint16(100 + i));
        QCOMPARE(QList<int>({t.calibrationLow(0), t.calibrationHigh(3)}), QList<int>({100, 107}));

        // Shrinking keeps the frames below the cut; growing again brings back empty frames, not the old positions.
        t.setMaxframe(300);
        putAt(t, 100, 140);
        putAt(t, 250, 150);
        t.setMaxframe(150);
        t.setMaxframe(300);
        QCOMPARE(QList<int>({t.at(100), t.at(250)}), QList<int>({140, 0}));

        t.setMaxframe(10);
        t.setDatalength(500);
        QCOMPARE(t.maxframe(), 10);
        t.setDataStartPoint(499);
        t.setData(7);
        t.setData(8);
        QCOMPARE(errorNumber([&] { t.setData(9); }), 9);
        QCOMPARE(t.dataCursor(), 501);
        t.setDataStartPoint(499);
        QCOMPARE(t.data(), qint16(7));
        // The frame update grows the array to the frame, never shrinks it, and moves maxframe up to the frame.
        t.setCurrentFrame(20);
        QCOMPARE(QList<int>({t.datalength(), t.maxframe(), t.at(500)}), QList<int>({500, 20, 8}));
        t.setDatalength(5);
        putAt(t, 5, 77);
        t.setCurrentFrame(8);
        QCOMPARE(QList<int>({t.datalength(), t.maxframe(), t.at(5)}), QList<int>({8, 20, 77}));

        t.clearTheArray();
        const QList<int> cleared{t.datalength(), t.maxframe(), t.at(0),     t.at(1),
                                 t.sliderMin(),  t.sliderMax(), t.minValue()};
        QCOMPARE(cleared, QList<int>({1, 0, 0, 128, 128, 129, 139}));
    }

    void frameUpdate_data()
    {
        QTest::addColumn<Update>("u");
        QTest::newRow("inactive reversed: raw") << Update{5, false, true, true, true, false, 0, "120", 0};
        QTest::newRow("inactive: no playback") << Update{5, false, true, true, false, false, 170, "120", 170};
        QTest::newRow("inactive: no recording") << Update{5, false, true, true, false, true, 0, "120", 0};
        QTest::newRow("playback") << Update{5, true, true, true, false, false, 170, "170", 170};
        QTest::newRow("playback reversed") << Update{5, true, true, true, true, false, 170, "130", 170};
        QTest::newRow("0 keeps the slider") << Update{5, true, true, true, true, false, 0, "180", 0};
        QTest::newRow("beyond a narrowed range") << Update{5, true, true, true, false, false, 250, "200", 250};
        QTest::newRow("box ticked, switch off") << Update{5, true, false, true, false, true, 170, "120", 170};
        QTest::newRow("recording off: playback") << Update{5, true, true, false, false, true, 170, "170", 170};
        QTest::newRow("held records") << Update{5, true, true, true, true, true, 170, "180", 120};
        QTest::newRow("-5 is frame 0") << Update{-5, true, true, true, false, true, 0, "120", 0};
    }
    void frameUpdate()
    {
        QFETCH(Update, u);
        Fixture fx;
        ServoTrack& t = fx.t;
        t.setMaxframe(20);
        putAt(t, 5, qint16(u.recorded));
        t.setPosition(120);
        t.setPlaybackEnabled(u.playback);
        t.setActiveChecked(u.active); // by hand
        t.setRecordingEnabled(u.recording);
        t.setIsReversed(u.reversed);
        t.setSliderHeld(u.held);
        t.serialPortString();

        t.setCurrentFrame(u.frame);
        QCOMPARE(t.serialPortString(), QString(u.sent));
        QCOMPARE(t.at(5), qint16(u.stored));
        if (u.frame < 0)
            QCOMPARE(t.at(0), qint16(120));
        QCOMPARE(t.lastFrame(), u.active ? std::max(u.frame, 0) : 0);
        t.setCurrentFrame(300); // grows, active or not
        QCOMPARE(QList<int>({t.maxframe(), t.datalength()}), QList<int>({300, 300}));
    }

    // A held slider that skips one frame fills it with the mean (halves to
    // even); a longer gap, a step back or nothing recorded before: no fill.
    void gapFill_data()
    {
        QTest::addColumn<QList<int>>("frameValueHeld"); // the first frame, its value, whether held; then the second's
        QTest::addColumn<QList<int>>("between");
        QTest::newRow("102.5 -> 102") << QList<int>{10, 100, 1, 12, 105} << QList<int>{102};
        QTest::newRow("127.5 -> 128") << QList<int>{10, 127, 1, 12, 128} << QList<int>{128};
        QTest::newRow("gap of 2: no fill") << QList<int>{10, 100, 1, 13, 105} << QList<int>{0, 0};
        QTest::newRow("backwards: no fill") << QList<int>{12, 100, 1, 10, 105} << QList<int>{0};
        QTest::newRow("nothing at last frame: no fill") << QList<int>{10, 100, 0, 12, 105} << QList<int>{0};
    }
    void gapFill()
    {
        QFETCH(QList<int>, frameValueHeld);
        QFETCH(QList<int>, between);
        const auto& r = frameValueHeld;
        Fixture fx;
        fx.record(r[0], r[1], r[2]);
        fx.record(r[3], r[4]);
        QList<int> got{fx.t.at(r[3])};
        for (int i = 0; i < between.size(); ++i)
            got << fx.t.at(std::min(r[0], r[3]) + 1 + i);
        QCOMPARE(got, QList<int>{r[4]} + between);
    }

    // Readings X, Y, Z; channel 0 calibrated 1000..5000, channel 1 0..32767,
    // channel 2 0..1000, channel 3 0..10 (unused). The slider starts at 120.
    void joystick_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QList<quint32>>("reading"); // x, y, z, buttons
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("stored"); // data[3]
        using R = QList<quint32>;
        QTest::newRow("X 5000 -> 200") << 0 << R{5000, 0, 0, 1} << false << 200;
        QTest::newRow("X 0 -> 75: held at 100") << 0 << R{0, 0, 0, 1} << false << 100;
        QTest::newRow("X 1020 -> 100.5 -> 100") << 0 << R{1020, 0, 0, 1} << false << 100;
        QTest::newRow("X 1060 -> 101.5 -> 102") << 0 << R{1060, 0, 0, 1} << false << 102;
        QTest::newRow("channel 1 reads Y") << 1 << R{0, 32767, 0, 1} << false << 200;
        QTest::newRow("channel 2 reads Z") << 2 << R{0, 0, 500, 1} << false << 150;
        QTest::newRow("channel 3 is channel 2") << 3 << R{0, 0, 500, 1} << false << 150;
        QTest::newRow("buttons 1+2: nothing") << 2 << R{0, 0, 500, 3} << false << 0;
        QTest::newRow("no button, held: mouse") << 2 << R{0, 0, 500, 0} << true << 120;
        QTest::newRow("button 1, held: joystick") << 2 << R{0, 0, 500, 1} << true << 150;
        QTest::newRow("buttons 1+2, held: mouse") << 2 << R{0, 0, 500, 3} << true << 120;
    }
    void joystick()
    {
        QFETCH(int, channel);
        QFETCH(QList<quint32>, reading);
        QFETCH(bool, held);
        Fixture fx;
        fx.calibrate({1000, 5000, 0, 32767, 0, 1000, 0, 10});
        fx.t.setWhichJoystickChannel(qint16(channel));
        fx.t.setUsesJoystick(true);
        fx.joystick.reading = {reading[0], reading[1], reading[2], reading[3]};
        fx.record(3, 120, held);
        QTEST(int(fx.t.at(3)), "stored");
        QCOMPARE(fx.joystick.reads, 1);
    }

    // Each failure is a numbered error; the track is unchanged and usable after it.
    void errors_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("number");
        QTest::newRow("zero calibration span") << 1 << 11;
        QTest::newRow("span beyond 16 bits") << 2 << 6;
        QTest::newRow("range beyond 16 bits") << 3 << 6;
        QTest::newRow("frame 2^31-1") << 4 << 7;
        QTest::newRow("maxframe 2^31-1") << 5 << 7;
        QTest::newRow("datalength -1") << 6 << 9;
    }
    void errors()
    {
        QFETCH(int, kind);
        Fixture fx;
        ServoTrack& t = fx.t;
        fx.record(10, 150);
        t.setMaxframe(12);
        fx.joystick.reading.buttons = 1;

        std::function<void()> action = [&] { t.setCurrentFrame(12); };
        switch (kind) {
        case 1:
            fx.calibrate({500, 500});
            t.setUsesJoystick(true);
            break;
        case 2:
            fx.calibrate({-30000, 30000});
            t.setUsesJoystick(true);
            break;
        case 3:
            t.setMinValue(-30000);
            t.setMaxValue(30000);
            t.setUsesJoystick(true);
            break;
        case 4:
            action = [&] { t.setCurrentFrame(std::numeric_limits<qint32>::max()); };
            break;
        case 5:
            action = [&] { t.setMaxframe(std::numeric_limits<qint32>::max()); };
            break;
        case 6:
            action = [&] { t.setDatalength(-1); };
            break;
        }
        t.setPosition(160);
        t.serialPortString();

        QTEST(errorNumber(action), "number");
        QCOMPARE(QList<int>({t.position(), t.lastFrame(), t.maxframe(), t.datalength()}),
                 QList<int>({160, 10, 12, 12}));
        QCOMPARE(t.serialPortString(), QString());

        t.setUsesJoystick(false);
        t.setCurrentFrame(12);
        QCOMPARE(QList<int>({t.at(12), t.at(11)}), QList<int>({160, 155}));
        QCOMPARE(t.serialPortString(), QStringLiteral("160"));
    }
};

QTEST_GUILESS_MAIN(tst_ServoTrack)
#include "tst_servotrack.moc"
