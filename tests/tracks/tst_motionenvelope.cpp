// The lanes' arithmetic without widgets: which frames a pixel column covers,
// the min/max per column with gaps for frames holding 0, the envelope kept up
// to date frame by frame, the frame span of the waveform's view, and rows.
#include <QRandomGenerator>
#include <QTest>

#include "tracks/MotionEnvelope.h"

using namespace mk::lanes;
Q_DECLARE_METATYPE(std::vector<qint16>)

namespace {
/// Min/max per column straight from the data, as the envelope must give it.
std::vector<ColumnRange> bruteForce(const std::vector<qint16>& data, double first, double last, int columns)
{
    std::vector<ColumnRange> out;
    for (int c = 0; c < columns; ++c) {
        const FrameSpan s = columnFrames(first, last, columns, c);
        out.push_back(rangeOf(data, s.from, s.to));
    }
    return out;
}
} // namespace

class TestMotionEnvelope : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columnFrames_data()
    {
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("last");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::newRow("10 frames a column, first") << 0.0 << 100.0 << 10 << 0 << qint64(0) << qint64(9);
        QTest::newRow("10 frames a column, last") << 0.0 << 100.0 << 10 << 9 << qint64(90) << qint64(99);
        QTest::newRow("fractional edges") << 0.5 << 10.5 << 4 << 1 << qint64(3) << qint64(5);
        QTest::newRow("zoomed in: nearest to the middle") << 10.0 << 11.0 << 4 << 0 << qint64(10) << qint64(10);
        QTest::newRow("zoomed in: past the half") << 10.0 << 11.0 << 4 << 2 << qint64(11) << qint64(11);
        QTest::newRow("before frame 0") << -20.0 << -10.0 << 2 << 0 << qint64(-20) << qint64(-16);
        QTest::newRow("column out of range") << 0.0 << 10.0 << 2 << 2 << qint64(0) << qint64(-1);
        QTest::newRow("no columns") << 0.0 << 10.0 << 0 << 0 << qint64(0) << qint64(-1);
        QTest::newRow("absurd edges are tamed") << -1e300 << 1e300 << 1 << 0 << qint64(-1e15) << qint64(1e15) - 1;
    }
    void columnFrames()
    {
        QFETCH(double, first);
        QFETCH(double, last);
        QFETCH(int, columns);
        QFETCH(int, column);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        const FrameSpan s = mk::lanes::columnFrames(first, last, columns, column);
        QCOMPARE(std::make_pair(s.from, s.to), std::make_pair(from, to));
    }

    void knownColumns_data()
    {
        QTest::addColumn<std::vector<qint16>>("data");
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("last");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("expected"); // lo, hi per column; 0, 0 is a gap
        QTest::newRow("min and max per column") << std::vector<qint16>{10, 20, 30, 40, 50, 5} << 0.0 << 6.0 << 3
                                                << QList<int>{10, 20, 30, 40, 5, 50};
        QTest::newRow("zeros are gaps, not position 0")
            << std::vector<qint16>{0, 0, 100, 0, 0, 0, 7, 0} << 0.0 << 8.0 << 4 << QList<int>{0, 0, 100, 100, 0, 0, 7, 7};
        QTest::newRow("past the end and before the start are gaps")
            << std::vector<qint16>{1, 2} << -2.0 << 4.0 << 3 << QList<int>{0, 0, 1, 2, 0, 0};
        QTest::newRow("zoomed in: each frame spans columns")
            << std::vector<qint16>{9, 60} << 0.0 << 2.0 << 4 << QList<int>{9, 9, 60, 60, 60, 60, 0, 0};
    }
    void knownColumns()
    {
        QFETCH(std::vector<qint16>, data);
        QFETCH(double, first);
        QFETCH(double, last);
        QFETCH(int, columns);
        QFETCH(QList<int>, expected);
        MotionEnvelope e;
        e.assign(data);
        QList<int> got;
        for (const ColumnRange r : e.columns(first, last, columns))
            got << r.lo << r.hi;
        QCOMPARE(got, expected);
    }

    // The block summaries give what a scan of every frame gives, for every
    // kind of view over a long, gappy recording, and stay right as frames
    // change one by one (recording) and as the length changes.
    void envelopeMatchesScan()
    {
        QRandomGenerator rng(1234);
        std::vector<qint16> data(216'001); // two hours at 30 frames a second
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = (i / 5000) % 3 == 0 ? 0 : qint16(1 + rng.bounded(255));
        MotionEnvelope e;
        e.assign(data);
        const struct { double first, last; int columns; } views[] = {
            {0, 216001, 1000}, {0, 216001, 997}, {100000.3, 100050.7, 1000}, {-500, 1000, 640},
            {215000, 217000, 333}, {4095, 4097 + 65536, 77}};
        for (const auto& v : views)
            QVERIFY(e.columns(v.first, v.last, v.columns) == bruteForce(data, v.first, v.last, v.columns));

        // Recording frame by frame: sync reports exactly the frames that changed.
        for (qint64 f : {0LL, 15LL, 16LL, 4095LL, 4096LL, 65535LL, 216000LL}) {
            data[size_t(f)] = qint16(data[size_t(f)] == 200 ? 201 : 200);
            const FrameSpan s = e.sync(data, f - 1, f);
            QCOMPARE(std::make_pair(s.from, s.to), std::make_pair(f, f));
            QCOMPARE(e.sync(data, f - 1, f).to, qint64(-1)); // nothing more to take in
        }
        // Erasing a whole stretch leaves a gap, summaries included.
        std::fill(data.begin() + 70000, data.begin() + 140000, 0);
        QCOMPARE(e.syncAll(data).from, qint64(70000));
        QVERIFY(e.range(70000, 139999).empty());
        QVERIFY(e.columns(0, 216001, 1000) == bruteForce(data, 0, 216001, 1000));

        // A new length: the differing part and the new frames are reported.
        data.resize(300000, 0);
        data[250000] = 42;
        const FrameSpan grown = e.syncAll(data);
        QCOMPARE(std::make_pair(grown.from, grown.to), std::make_pair(qint64(216001), qint64(299999)));
        QCOMPARE(e.range(0, 299999), rangeOf(data, 0, 299999));
        // Recording past the end grows the track a frame at a time.
        data.push_back(17);
        const FrameSpan one = e.sync(data, 299999, 300000);
        QCOMPARE(std::make_pair(one.from, one.to), std::make_pair(qint64(300000), qint64(300000)));
        QCOMPARE(e.range(299000, 300000), rangeOf(data, 299000, 300000));
        data.resize(10);
        QCOMPARE(e.syncAll(data).to, qint64(300000));
        QCOMPARE(e.size(), qint64(10));
    }

    void frameWindow_data()
    {
        QTest::addColumn<bool>("hasSound");
        QTest::addColumn<int>("displayStart");
        QTest::addColumn<int>("displayEnd");
        QTest::addColumn<int>("soundLength");
        QTest::addColumn<int>("soundLengthMs");
        QTest::addColumn<int>("maxframe");
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("last");
        // A 10 s sound of 441000 bytes after a 44-byte header: 300 frames.
        QTest::newRow("whole sound") << true << 45 << 441045 << 441000 << 10000 << 300 << 0.0 << 300.0;
        QTest::newRow("second half") << true << 220545 << 441045 << 441000 << 10000 << 300 << 150.0 << 300.0;
        QTest::newRow("no sound: the whole track") << false << 1 << 1000 << 1000 << 1000 << 600 << 0.6 << 600.0;
        QTest::newRow("zero-length sound") << true << 45 << 100 << 0 << 0 << 0 << 0.0 << 0.0;
    }
    void frameWindow()
    {
        QFETCH(bool, hasSound);
        QFETCH(int, displayStart);
        QFETCH(int, displayEnd);
        QFETCH(int, soundLength);
        QFETCH(int, soundLengthMs);
        QFETCH(int, maxframe);
        QFETCH(double, first);
        QFETCH(double, last);
        const FrameWindow w =
            mk::lanes::frameWindow(hasSound, displayStart, displayEnd, 45, soundLength, soundLengthMs, maxframe);
        QCOMPARE(std::make_pair(w.first, w.last), std::make_pair(first, last));
    }

    void rows_data()
    {
        QTest::addColumn<int>("v");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("row");
        QTest::newRow("highest on top") << 200 << 100 << 200 << 0;
        QTest::newRow("lowest at the bottom") << 100 << 100 << 200 << 20;
        QTest::newRow("middle") << 150 << 100 << 200 << 10;
        QTest::newRow("above the range: top") << 255 << 100 << 200 << 0;
        QTest::newRow("below the range: bottom") << 1 << 100 << 200 << 20;
        QTest::newRow("empty range: middle") << 5 << 128 << 128 << 10;
    }
    void rows()
    {
        QFETCH(int, v);
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(int, row);
        QCOMPARE(mk::lanes::rowOf(v, low, high, 21), row);
    }
};

QTEST_GUILESS_MAIN(TestMotionEnvelope)
#include "tst_motionenvelope.moc"
