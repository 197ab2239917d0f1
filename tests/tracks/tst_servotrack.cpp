// The track's state and its frame update, without widgets.
#include <QTest>
#include <functional>
#include <limits>

#include "platform/Joystick.h"
#include "support/RuntimeErrors.h"
#include "tracks/ServoTrack.h"

using mk::ServoTrack;
using mk::test::errorNumber;

namespace {

// A track as the main window leaves it after start-up, with a range of 100..200.
struct Fixture {
    mk::FixedJoystick joystick;
    ServoTrack t{joystick};
    Fixture()
    {
        t.setPlaybackEnabled(true);
        t.setRecordingEnabled(true);
        t.setMaxValue(200);
        t.setMinValue(100);
    }
    void calibrate(std::initializer_list<int> values)
    {
        t.setStartCalibrationData(true);
        for (int v : values)
            t.setCalibrationData(qint16(v));
    }
};

} // namespace

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
        QCOMPARE(t.sliderMin(), 139);
        QCOMPARE(t.position(), 139);

        t.setServoName(QStringLiteral("Left eyebrow"));
        QCOMPARE(t.servoName(), QStringLiteral("Left eyebrow") + QString(20, ' '));
        const QString forty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCD");
        t.setServoName(forty);
        QCOMPARE(t.servoName(), forty.left(32));
        QCOMPARE(t.nameBoxText(), forty);

        // Eight values fill low/high of channels 0..3; no number of extra writes
        // changes them (the index must not run over either).
        t.setStartCalibrationData(true);
        for (int i = 0; i < 40000; ++i)
            t.setCalibrationData(qint16(100 + i));
        QCOMPARE(t.calibrationLow(0), qint16(100));
        QCOMPARE(t.calibrationHigh(3), qint16(107));

        // Shrinking keeps the frames below the cut; growing again brings back
        // empty frames, not the old positions.
        t.setMaxframe(300);
        t.setDataStartPoint(100);
        t.setData(140);
        t.setDataStartPoint(250);
        t.setData(150);
        t.setMaxframe(150);
        t.setMaxframe(300);
        QCOMPARE(t.at(100), qint16(140));
        QCOMPARE(t.at(250), qint16(0));

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

        t.clearTheArray();
        QCOMPARE(t.datalength(), 1);
        QCOMPARE(t.maxframe(), 0);
        QCOMPARE(t.at(0), qint16(0));
        QCOMPARE(t.at(1), qint16(128));
        QCOMPARE(t.sliderMin(), 128);
        QCOMPARE(t.sliderMax(), 129);
        QCOMPARE(t.minValue(), qint16(139));
    }

    // One update of frame 5 (or of `frame`) with the slider at 120 in 100..200.
    void frameUpdate_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<bool>("active");    // the box
        QTest::addColumn<bool>("playback");  // the switch
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("reversed");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("recorded");   // data[5] before
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("stored");     // data[5] after

        QTest::newRow("inactive reversed: raw") << 5 << false << true << true << true << false << 0 << "120" << 0;
        QTest::newRow("inactive: no playback") << 5 << false << true << true << false << false << 170 << "120" << 170;
        QTest::newRow("inactive: no recording") << 5 << false << true << true << false << true << 0 << "120" << 0;
        QTest::newRow("playback") << 5 << true << true << true << false << false << 170 << "170" << 170;
        QTest::newRow("playback reversed") << 5 << true << true << true << true << false << 170 << "130" << 170;
        QTest::newRow("0 keeps the slider") << 5 << true << true << true << true << false << 0 << "180" << 0;
        QTest::newRow("beyond a narrowed range") << 5 << true << true << true << false << false << 250 << "200" << 250;
        QTest::newRow("box ticked, switch off") << 5 << true << false << true << false << true << 170 << "120" << 170;
        QTest::newRow("recording off: playback") << 5 << true << true << false << false << true << 170 << "170" << 170;
        QTest::newRow("held records") << 5 << true << true << true << true << true << 170 << "180" << 120;
        QTest::newRow("-5 is frame 0") << -5 << true << true << true << false << true << 0 << "120" << 0;
    }

    void frameUpdate()
    {
        QFETCH(int, frame);
        QFETCH(bool, active);
        QFETCH(bool, playback);
        QFETCH(bool, recording);
        QFETCH(bool, reversed);
        QFETCH(bool, held);
        QFETCH(int, recorded);
        QFETCH(int, stored);

        Fixture fx;
        ServoTrack& t = fx.t;
        t.setMaxframe(20);
        t.setDataStartPoint(5);
        t.setData(qint16(recorded));
        t.setPosition(120);
        t.setPlaybackEnabled(playback);
        t.setActiveChecked(active); // by hand
        t.setRecordingEnabled(recording);
        t.setIsReversed(reversed);
        t.setSliderHeld(held);
        t.serialPortString();

        t.setCurrentFrame(frame);
        QTEST(t.serialPortString(), "sent");
        QCOMPARE(t.at(5), qint16(stored));
        if (frame < 0)
            QCOMPARE(t.at(0), qint16(120));
        QCOMPARE(t.lastFrame(), active ? std::max(frame, 0) : 0);

        t.setCurrentFrame(300); // grows, active or not
        QCOMPARE(t.maxframe(), 300);
        QCOMPARE(t.datalength(), 300);
    }

    void gapFill_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("v1");
        QTest::addColumn<int>("v2");
        QTest::addColumn<QList<int>>("between");

        QTest::addColumn<bool>("firstHeld"); // else the first frame only plays back its 0

        QTest::newRow("102.5 -> 102") << 10 << 12 << 100 << 105 << QList<int>{102} << true;
        QTest::newRow("127.5 -> 128") << 10 << 12 << 127 << 128 << QList<int>{128} << true;
        QTest::newRow("gap of 2: no fill") << 10 << 13 << 100 << 105 << QList<int>{0, 0} << true;
        QTest::newRow("backwards: no fill") << 12 << 10 << 100 << 105 << QList<int>{0} << true;
        QTest::newRow("nothing at last frame: no fill") << 10 << 12 << 100 << 105 << QList<int>{0} << false;
    }

    void gapFill()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(int, v1);
        QFETCH(int, v2);
        QFETCH(QList<int>, between);
        QFETCH(bool, firstHeld);

        Fixture fx;
        fx.t.setSliderHeld(firstHeld);
        fx.t.setPosition(v1);
        fx.t.setCurrentFrame(first);
        fx.t.setSliderHeld(true);
        fx.t.setPosition(v2);
        fx.t.setCurrentFrame(second);
        QCOMPARE(fx.t.at(second), qint16(v2));
        for (int i = 0; i < between.size(); ++i)
            QCOMPARE(fx.t.at(std::min(first, second) + 1 + i), qint16(between[i]));
    }

    // The frame update grows the array to the frame, never shrinks it, and
    // moves maxframe up to the frame.
    void frameUpdateOnlyGrows_data()
    {
        QTest::addColumn<int>("maxframe");
        QTest::addColumn<int>("datalength"); // written after maxframe
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("newDatalength");
        QTest::addColumn<int>("newMaxframe");
        QTest::newRow("longer array kept") << 10 << 500 << 20 << 500 << 20;
        QTest::newRow("beyond both") << 10 << 50 << 80 << 80 << 80;
        QTest::newRow("shorter array grows") << 10 << 5 << 8 << 8 << 10;
    }

    void frameUpdateOnlyGrows()
    {
        QFETCH(int, maxframe);
        QFETCH(int, datalength);
        QFETCH(int, frame);
        Fixture fx;
        fx.t.setMaxframe(maxframe);
        fx.t.setDatalength(datalength);
        fx.t.setDataStartPoint(datalength);
        fx.t.setData(77); // the last recorded position
        fx.t.setCurrentFrame(frame);
        QTEST(fx.t.datalength(), "newDatalength");
        QTEST(fx.t.maxframe(), "newMaxframe");
        QCOMPARE(fx.t.at(datalength), qint16(77));
    }

    // Readings X, Y, Z; channel 0 calibrated 1000..5000, channel 1 0..32767,
    // channel 2 0..1000, channel 3 0..10 (unused). The slider starts at 120.
    void joystick_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QList<quint32>>("reading"); // x, y, z, buttons
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("mapped");  // the mapping's own result, if it runs
        QTest::addColumn<int>("stored");  // data[3]

        using R = QList<quint32>;
        QTest::newRow("X 3000 -> 150") << 0 << R{3000, 0, 0, 1} << false << 150 << 150;
        QTest::newRow("X 1000 -> 100") << 0 << R{1000, 0, 0, 1} << false << 100 << 100;
        QTest::newRow("X 5000 -> 200") << 0 << R{5000, 0, 0, 1} << false << 200 << 200;
        QTest::newRow("X 0 -> 75, held at 100") << 0 << R{0, 0, 0, 1} << false << 75 << 100;
        QTest::newRow("X 1020 -> 100.5 -> 100") << 0 << R{1020, 0, 0, 1} << false << 100 << 100;
        QTest::newRow("X 1060 -> 101.5 -> 102") << 0 << R{1060, 0, 0, 1} << false << 102 << 102;
        QTest::newRow("channel 1 reads Y") << 1 << R{0, 32767, 0, 1} << false << 200 << 200;
        QTest::newRow("channel 2 reads Z") << 2 << R{0, 0, 500, 1} << false << 150 << 150;
        QTest::newRow("channel 3 is channel 2") << 3 << R{0, 0, 500, 1} << false << 150 << 150;
        QTest::newRow("buttons 1+2: nothing") << 2 << R{0, 0, 500, 3} << false << 150 << 0;
        QTest::newRow("no button, held: mouse") << 2 << R{0, 0, 500, 0} << true << 150 << 120;
        QTest::newRow("button 1, held: joystick") << 2 << R{0, 0, 500, 1} << true << 150 << 150;
        QTest::newRow("buttons 1+2, held: mouse") << 2 << R{0, 0, 500, 3} << true << 150 << 120;
    }

    void joystick()
    {
        QFETCH(int, channel);
        QFETCH(QList<quint32>, reading);
        QFETCH(bool, held);
        QFETCH(int, mapped);
        QFETCH(int, stored);

        const int pair = std::min(channel, 2);
        static const qint16 low[3] = {1000, 0, 0};
        static const qint16 high[3] = {5000, 32767, 1000};
        QCOMPARE(ServoTrack::mapJoystick(100, 200, reading[pair], low[pair], high[pair]), mapped);

        Fixture fx;
        fx.calibrate({1000, 5000, 0, 32767, 0, 1000, 0, 10});
        fx.t.setWhichJoystickChannel(qint16(channel));
        fx.t.setUsesJoystick(true);
        QCOMPARE(fx.t.visibleIndicator(), channel);
        fx.t.setPosition(120);
        fx.t.setSliderHeld(held);
        fx.joystick.reading = {reading[0], reading[1], reading[2], reading[3]};
        fx.t.setCurrentFrame(3);
        QCOMPARE(fx.t.at(3), qint16(stored));
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
        QFETCH(int, number);

        Fixture fx;
        ServoTrack& t = fx.t;
        t.setSliderHeld(true);
        t.setPosition(150);
        t.setCurrentFrame(10);
        t.setMaxframe(12);
        fx.joystick.reading.buttons = 1;

        std::function<void()> action = [&] { t.setCurrentFrame(12); };
        switch (kind) {
        case 1: fx.calibrate({500, 500}); t.setUsesJoystick(true); break;
        case 2: fx.calibrate({-30000, 30000}); t.setUsesJoystick(true); break;
        case 3: t.setMinValue(-30000); t.setMaxValue(30000); t.setUsesJoystick(true); break;
        case 4: action = [&] { t.setCurrentFrame(std::numeric_limits<qint32>::max()); }; break;
        case 5: action = [&] { t.setMaxframe(std::numeric_limits<qint32>::max()); }; break;
        case 6: action = [&] { t.setDatalength(-1); }; break;
        }
        t.setPosition(160);
        t.serialPortString();
        const qint32 maxframeBefore = t.maxframe();
        const qint32 lengthBefore = t.datalength();

        QCOMPARE(errorNumber(action), number);
        QCOMPARE(t.position(), 160);
        QCOMPARE(t.lastFrame(), 10);
        QCOMPARE(t.serialPortString(), QString());
        QCOMPARE(t.maxframe(), maxframeBefore);
        QCOMPARE(t.datalength(), lengthBefore);

        t.setUsesJoystick(false);
        t.setMaxframe(12);
        t.setCurrentFrame(12);
        QCOMPARE(t.at(12), qint16(160));
        QCOMPARE(t.at(11), qint16(155));
        QCOMPARE(t.serialPortString(), QStringLiteral("160"));
    }
};

QTEST_GUILESS_MAIN(tst_ServoTrack)
#include "tst_servotrack.moc"
