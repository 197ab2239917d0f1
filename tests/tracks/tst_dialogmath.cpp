// The arithmetic behind the two track dialogs, without widgets: the servo
// picture's needles and drag, and what the joystick calibration keeps and
// hands to the tracks.
#include <QTest>

#include "tracks/JoystickCalibration.h"
#include "tracks/NeedleGeometry.h"

using mk::JoystickCalibration;
using mk::needles::Needle;

Q_DECLARE_METATYPE(Needle)

namespace {

mk::JoystickReading xyz(quint32 x, quint32 y = 0, quint32 z = 0)
{
    mk::JoystickReading r;
    r.x = x;
    r.y = y;
    r.z = z;
    return r;
}

} // namespace

class tst_DialogMath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void needleLine_data()
    {
        QTest::addColumn<double>("v");
        QTest::addColumn<QPointF>("tip");
        QTest::newRow("0 points left") << 0.0 << QPointF(10.50, 132.82);
        QTest::newRow("127 points down") << 127.0 << QPointF(53.22, 176.00);
        QTest::newRow("255 points right") << 255.0 << QPointF(96.50, 132.85);
    }
    void needleLine()
    {
        QFETCH(double, v);
        QFETCH(QPointF, tip);
        const QLineF l = mk::needles::needleLine(v);
        QCOMPARE(l.p1(), QPointF(53.5, 133));
        QVERIFY2(std::abs(l.p2().x() - tip.x()) < 0.01 && std::abs(l.p2().y() - tip.y()) < 0.01,
                 qPrintable(QStringLiteral("%1,%2").arg(l.p2().x()).arg(l.p2().y())));
    }

    // Where a press lands and what dragging each needle there sets.
    void drag_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("a");
        QTest::addColumn<int>("minSet");
        QTest::addColumn<int>("maxSet");
        QTest::newRow("left, just below") << 10.0 << 134.0 << 1.8873 << 2 << 2;
        QTest::newRow("down-left") << 30.0 << 170.0 << 82.3565 << 82 << 82;
        QTest::newRow("down-right") << 80.0 << 160.0 << 191.25 << 191 << 191;
        QTest::newRow("right, half below") << 96.0 << 133.5 << 254.0562 << 254 << 254;
        QTest::newRow("straight below (X 53)") << 53.0 << 170.0 << 127.5219 << 128 << 128;
        QTest::newRow("below 1, min held at 1") << 10.0 << 133.1 << 0.1888 << 1 << 1;
        QTest::newRow("above, right") << 80.0 << 100.0 << 255.0 << 255 << 254;
        QTest::newRow("above, left") << 20.0 << 100.0 << 1.0 << 1 << 1;
        QTest::newRow("above the shaft (X 53)") << 53.0 << 10.0 << 255.0 << 255 << 254;
        QTest::newRow("shaft's row, right") << 90.0 << 133.0 << 255.0 << 255 << 254;
        QTest::newRow("shaft's row, left") << 20.0 << 133.0 << 1.0 << 1 << 1;
        QTest::newRow("on the shaft") << 53.0 << 133.0 << 255.0 << 255 << 254;
        QTest::newRow("outside the picture") << -500.0 << 900.0 << 76.7957 << 77 << 77;
    }
    void drag()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, a);
        QFETCH(int, minSet);
        QFETCH(int, maxSet);
        const float got = mk::needles::positionAt(x, y);
        QVERIFY2(std::abs(got - a) < 0.01, qPrintable(QString::number(got, 'f', 4)));
        QCOMPARE(mk::needles::dragValue(Needle::Min, got), minSet);
        QCOMPARE(mk::needles::dragValue(Needle::Max, got), maxSet);
    }

    void roundingAndPick_data()
    {
        QTest::addColumn<float>("a");
        QTest::addColumn<int>("minVal");
        QTest::addColumn<int>("maxVal");
        QTest::addColumn<Needle>("picked");
        QTest::addColumn<int>("set");
        QTest::newRow("127.5 to even") << 127.5f << 100 << 200 << Needle::Min << 128;
        QTest::newRow("128.5 to even") << 128.5f << 100 << 200 << Needle::Min << 128;
        QTest::newRow("tie picks min") << 150.0f << 100 << 200 << Needle::Min << 150;
        QTest::newRow("nearer max") << 150.5f << 100 << 200 << Needle::Max << 150;
        QTest::newRow("both ends equal") << 10.0f << 128 << 128 << Needle::Min << 10;
        QTest::newRow("253.5 max to even") << 253.5f << 1 << 255 << Needle::Max << 254;
    }
    void roundingAndPick()
    {
        QFETCH(float, a);
        QFETCH(int, minVal);
        QFETCH(int, maxVal);
        QFETCH(Needle, picked);
        QFETCH(int, set);
        const Needle n = mk::needles::nearerNeedle(a, minVal, maxVal);
        QCOMPARE(n, picked);
        QCOMPARE(mk::needles::dragValue(n, a), set);
    }

    void calibrationStartsAtItsDesignValues()
    {
        JoystickCalibration c;
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(c.gauge(i).min, 0);
            QCOMPARE(c.gauge(i).max, 32768);
        }
        const std::array<qint16, 8> expected{1, 32767, 1, 32767, 1, 32767, 1, 32767};
        QCOMPARE(c.trackValues(), expected);
        // No joystick: the gauges go to their bottom.
        QVERIFY(!c.poll({}));
        QVERIFY(c.poll(xyz(40000, 5, 7)));
        QCOMPARE(c.gauge(0).value, 32768);
        QCOMPARE(c.gauge(1).value, 5);
        QCOMPARE(c.gauge(3).value, 0);
    }

    // A sequence of set buttons ("min0@1000" = setMin 0 with that axis at
    // 1000), then gauge `channel` and the eight values every track receives.
    void calibrationButtons_data()
    {
        QTest::addColumn<QStringList>("presses");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("gaugeMin");
        QTest::addColumn<int>("gaugeMax");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("bottom of X") << QStringList{"min0@1000"} << 0 << 1000 << 32768
                                     << QList<int>{1000, 32767, 1, 32767, 1, 32767, 1, 32767};
        QTest::newRow("top of Y below its bottom") << QStringList{"min1@5000", "max1@3000"} << 1 << 5000 << 5001
                                                   << QList<int>{1, 32767, 5000, 5001, 1, 32767, 1, 32767};
        QTest::newRow("bottom of Z above its top") << QStringList{"max2@300", "min2@900"} << 2 << 299 << 300
                                                   << QList<int>{1, 32767, 1, 32767, 299, 300, 1, 32767};
        QTest::newRow("channel 4 has no axis") << QStringList{"min3@1000", "max3@1000"} << 3 << 0 << 32768
                                               << QList<int>{1, 32767, 1, 32767, 1, 32767, 0, 32767};
        QTest::newRow("top beyond 16 bits held") << QStringList{"max0@40000"} << 0 << 0 << 32768
                                                 << QList<int>{1, 32767, 1, 32767, 1, 32767, 1, 32767};
        QTest::newRow("bottom at the stick's end stays below the held top")
            << QStringList{"min0@32767"} << 0 << 32766 << 32768
            << QList<int>{32766, 32767, 1, 32767, 1, 32767, 1, 32767};
        QTest::newRow("top at rest does not meet the bottom of 1")
            << QStringList{"max0@0"} << 0 << 0 << 1 << QList<int>{0, 1, 1, 32767, 1, 32767, 1, 32767};
        QTest::newRow("channels out of range ignored") << QStringList{"min-1@5", "max4@5", "min9@5"} << 0 << 0
                                                       << 32768
                                                       << QList<int>{1, 32767, 1, 32767, 1, 32767, 1, 32767};
    }
    void calibrationButtons()
    {
        QFETCH(QStringList, presses);
        QFETCH(int, channel);
        QFETCH(int, gaugeMin);
        QFETCH(int, gaugeMax);
        QFETCH(QList<int>, values);
        JoystickCalibration c;
        for (const QString& press : presses) {
            const int at = press.indexOf('@');
            const int ch = press.mid(3, at - 3).toInt();
            const quint32 r = press.mid(at + 1).toUInt();
            const mk::JoystickReading reading = xyz(r, r, r);
            const bool known = press.startsWith("min") ? c.setMin(ch, reading) : c.setMax(ch, reading);
            QCOMPARE(known, ch >= 0 && ch < 4);
        }
        QCOMPARE(c.gauge(channel).min, gaugeMin);
        QCOMPARE(c.gauge(channel).max, gaugeMax);
        QList<int> got;
        for (qint16 v : c.trackValues())
            got << v;
        QCOMPARE(got, values);
        // The live reading stays within the span set.
        c.poll(xyz(0, 0, 0));
        QCOMPARE(c.gauge(channel).value, channel < 3 ? gaugeMin : 0);
    }
};

QTEST_APPLESS_MAIN(tst_DialogMath)
#include "tst_dialogmath.moc"
