// The arithmetic behind the two track dialogs, without widgets: the servo
// picture's drag, and what the joystick calibration keeps and hands on.
#include <QTest>

#include "tracks/JoystickCalibration.h"
#include "tracks/NeedleGeometry.h"

using mk::needles::Needle;

namespace {
struct Drag {
    double x, y, a;
    int minSet, maxSet;
};
struct Calibration {
    QStringList presses;
    int channel, gaugeMin, gaugeMax, low, high;
};
} // namespace
Q_DECLARE_METATYPE(Drag)
Q_DECLARE_METATYPE(Calibration)

class tst_DialogMath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Where a press lands and what dragging each needle there sets.
    void drag_data()
    {
        QTest::addColumn<Drag>("d");
        QTest::newRow("left, just below") << Drag{10.0, 134.0, 1.8873, 2, 2};
        QTest::newRow("down-left") << Drag{30.0, 170.0, 82.3565, 82, 82};
        QTest::newRow("down-right") << Drag{80.0, 160.0, 191.25, 191, 191};
        QTest::newRow("straight below (X 53)") << Drag{53.0, 170.0, 127.5219, 128, 128};
        QTest::newRow("below 1: min held at 1") << Drag{10.0, 133.1, 0.1888, 1, 1};
        QTest::newRow("above the shaft (X 53)") << Drag{53.0, 10.0, 255.0, 255, 254};
        QTest::newRow("shaft's row, right") << Drag{90.0, 133.0, 255.0, 255, 254};
        QTest::newRow("shaft's row, left") << Drag{20.0, 133.0, 1.0, 1, 1};
        QTest::newRow("outside the picture") << Drag{-500.0, 900.0, 76.7957, 77, 77};
    }
    void drag()
    {
        QFETCH(Drag, d);
        const float got = mk::needles::positionAt(d.x, d.y);
        QVERIFY2(std::abs(got - d.a) < 0.001, qPrintable(QString::number(got, 'f', 4)));
        QCOMPARE(mk::needles::dragValue(Needle::Min, got), d.minSet);
        QCOMPARE(mk::needles::dragValue(Needle::Max, got), d.maxSet);
    }

    void pickAndRound()
    {
        using mk::needles::nearerNeedle;
        QCOMPARE(nearerNeedle(150.0f, 100, 200), Needle::Min); // a tie
        QCOMPARE(nearerNeedle(150.5f, 100, 200), Needle::Max);
        QCOMPARE(nearerNeedle(10.0f, 128, 128), Needle::Min);
        QCOMPARE(mk::needles::dragValue(Needle::Min, 127.5f), 128); // halves to even
        QCOMPARE(mk::needles::dragValue(Needle::Min, 128.5f), 128);
        QCOMPARE(mk::needles::dragValue(Needle::Max, 253.5f), 254);
    }

    // Set buttons pressed in turn ("min0@1000": setMin 0 with every axis at 1000), then gauge `channel` and the low
    // and high every track receives for it; the other channels stay at 1..32767.
    void calibration_data()
    {
        QTest::addColumn<Calibration>("k");
        QTest::newRow("none pressed") << Calibration{{}, 0, 0, 32768, 1, 32767};
        QTest::newRow("bottom of X") << Calibration{{"min0@1000"}, 0, 1000, 32768, 1000, 32767};
        QTest::newRow("top of Y under bottom") << Calibration{{"min1@5000", "max1@3000"}, 1, 5000, 5001, 5000, 5001};
        QTest::newRow("bottom of Z above its top") << Calibration{{"max2@300", "min2@900"}, 2, 299, 300, 299, 300};
        QTest::newRow("channel 4 has no axis") << Calibration{{"min3@1000", "max3@1000"}, 3, 0, 32768, 0, 32767};
        QTest::newRow("top beyond 16 bits held") << Calibration{{"max0@40000"}, 0, 0, 32768, 1, 32767};
        QTest::newRow("bottom at the end, under the top") << Calibration{{"min0@32767"}, 0, 32766, 32768, 32766, 32767};
        QTest::newRow("top at rest, not at the bottom of 1") << Calibration{{"max0@0"}, 0, 0, 1, 0, 1};
        QTest::newRow("channels out of range ignored") << Calibration{{"min-1@5", "max4@5"}, 0, 0, 32768, 1, 32767};
    }
    void calibration()
    {
        QFETCH(Calibration, k);
        const auto& [presses, channel, gaugeMin, gaugeMax, low, high] = k;
        mk::JoystickCalibration c;
        for (const QString& press : presses) {
            const int at = press.indexOf('@');
            const int ch = press.mid(3, at - 3).toInt();
            const quint32 r = press.mid(at + 1).toUInt();
            const mk::JoystickReading reading{r, r, r, 0};
            QCOMPARE(press.startsWith("min") ? c.setMin(ch, reading) : c.setMax(ch, reading), ch >= 0 && ch < 4);
        }
        QCOMPARE(std::pair(c.gauge(channel).min, c.gauge(channel).max), std::pair(gaugeMin, gaugeMax));
        const std::array<qint16, 8> kept = c.trackValues();
        QList<int> values{1, 32767, 1, 32767, 1, 32767, 1, 32767};
        values[2 * channel] = low;
        values[2 * channel + 1] = high;
        QCOMPARE(QList<int>(kept.begin(), kept.end()), values);
        // The live reading is held within the span; channel 4 never moves.
        c.poll({0, 0, 0, 0});
        QCOMPARE(c.gauge(channel).value, channel < 3 ? gaugeMin : 0);
        QVERIFY(c.poll({40000, 40000, 40000, 0}));
        QCOMPARE(c.gauge(channel).value, channel < 3 ? gaugeMax : 0);
        QVERIFY(!c.poll({40000, 40000, 40000, 0}));
    }
};

QTEST_APPLESS_MAIN(tst_DialogMath)
#include "tst_dialogmath.moc"
