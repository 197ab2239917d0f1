// The lanes' arithmetic without widgets: the envelope of each pixel column
// (frames holding 0 are gaps), and the edits of a track held within 50..200.
#include <QRandomGenerator>
#include <QTest>

#include "tracks/MotionEnvelope.h"
#include "tracks/TrackEdits.h"

using namespace mk::lanes;
namespace edits = mk::edits;

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

std::vector<qint16> parse(const QString& text)
{
    std::vector<qint16> v;
    for (const QString& s : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        v.push_back(qint16(s.toInt()));
    return v;
}

QString show(const std::vector<qint16>& v)
{
    QStringList s;
    for (qint16 x : v)
        s << QString::number(x);
    return s.join(QLatin1Char(' '));
}

struct Columns {
    double first, last;
    int columns, column;
    qint64 from, to;
};
struct Known {
    std::vector<qint16> data;
    double first, last;
    int columns;
    QList<int> expected; // lo, hi per column; 0, 0 is a gap
};
struct Window {
    bool hasSound;
    int displayStart, displayEnd, soundLength, soundLengthMs, maxframe;
    double first, last;
};
struct Row {
    int value, low, high, row;
};
struct Edit {
    QString op, data;
    int from, to; // paste: at; draw: first frame, last frame
    int value;    // frames, percent, delta, shift; draw: first position
    QString extra; // paste: clip; draw: last position
    QString expected;
    int lost;
};
} // namespace
Q_DECLARE_METATYPE(Columns)
Q_DECLARE_METATYPE(Known)
Q_DECLARE_METATYPE(Window)
Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Row)

class TestMotionEnvelope : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columnFrames_data()
    {
        QTest::addColumn<Columns>("c");
        QTest::newRow("10 frames a column, first") << Columns{0.0, 100.0, 10, 0, 0, 9};
        QTest::newRow("10 frames a column, last") << Columns{0.0, 100.0, 10, 9, 90, 99};
        QTest::newRow("fractional edges") << Columns{0.5, 10.5, 4, 1, 3, 5};
        QTest::newRow("zoomed in: nearest to the middle") << Columns{10.0, 11.0, 4, 0, 10, 10};
        QTest::newRow("zoomed in: past the half") << Columns{10.0, 11.0, 4, 2, 11, 11};
        QTest::newRow("before frame 0") << Columns{-20.0, -10.0, 2, 0, -20, -16};
        QTest::newRow("column out of range") << Columns{0.0, 10.0, 2, 2, 0, -1};
        QTest::newRow("no columns") << Columns{0.0, 10.0, 0, 0, 0, -1};
        QTest::newRow("absurd edges are tamed") << Columns{-1e300, 1e300, 1, 0, qint64(-1e15), qint64(1e15) - 1};
    }
    void columnFrames()
    {
        QFETCH(Columns, c);
        const FrameSpan s = mk::lanes::columnFrames(c.first, c.last, c.columns, c.column);
        QCOMPARE(std::make_pair(s.from, s.to), std::make_pair(c.from, c.to));
    }

    void knownColumns_data()
    {
        QTest::addColumn<Known>("k");
        QTest::newRow("min and max per column") << Known{{10, 20, 30, 40, 50, 5}, 0.0, 6.0, 3, {10, 20, 30, 40, 5, 50}};
        QTest::newRow("zeros are gaps, not position 0")
            << Known{{0, 0, 100, 0, 0, 0, 7, 0}, 0.0, 8.0, 4, {0, 0, 100, 100, 0, 0, 7, 7}};
        QTest::newRow("past the end and before the start are gaps") << Known{{1, 2}, -2.0, 4.0, 3, {0, 0, 1, 2, 0, 0}};
        QTest::newRow("zoomed in: each frame spans columns")
            << Known{{9, 60}, 0.0, 2.0, 4, {9, 9, 60, 60, 60, 60, 0, 0}};
    }
    void knownColumns()
    {
        QFETCH(Known, k);
        MotionEnvelope e;
        e.assign(k.data);
        QList<int> got;
        for (const ColumnRange r : e.columns(k.first, k.last, k.columns))
            got << r.lo << r.hi;
        QCOMPARE(got, k.expected);
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
        QTest::addColumn<Window>("w");
        // A 10 s sound of 441000 bytes after a 44-byte header: 300 frames.
        QTest::newRow("whole sound") << Window{true, 45, 441045, 441000, 10000, 300, 0.0, 300.0};
        QTest::newRow("second half") << Window{true, 220545, 441045, 441000, 10000, 300, 150.0, 300.0};
        QTest::newRow("no sound: the whole track") << Window{false, 1, 1000, 1000, 1000, 600, 0.6, 600.0};
        QTest::newRow("zero-length sound") << Window{true, 45, 100, 0, 0, 0, 0.0, 0.0};
    }
    void frameWindow()
    {
        QFETCH(Window, w);
        const FrameWindow got = mk::lanes::frameWindow(w.hasSound, w.displayStart, w.displayEnd, 45, w.soundLength,
                                                       w.soundLengthMs, w.maxframe);
        QCOMPARE(std::make_pair(got.first, got.last), std::make_pair(w.first, w.last));
    }

    void rows_data()
    {
        QTest::addColumn<Row>("r"); // of 21 rows
        QTest::newRow("highest on top") << Row{200, 100, 200, 0};
        QTest::newRow("lowest at the bottom") << Row{100, 100, 200, 20};
        QTest::newRow("middle") << Row{150, 100, 200, 10};
        QTest::newRow("above the range: top") << Row{255, 100, 200, 0};
        QTest::newRow("below the range: bottom") << Row{1, 100, 200, 20};
        QTest::newRow("empty range: middle") << Row{5, 128, 128, 10};
    }
    void rows()
    {
        QFETCH(Row, r);
        QCOMPARE(mk::lanes::rowOf(r.value, r.low, r.high, 21), r.row);
    }

    void edit_data()
    {
        QTest::addColumn<Edit>("e");
        QTest::newRow("clear") << Edit{"clear", "100 110 120 130 140", 1, 3, 0, "", "100 0 0 0 140", 0};
        QTest::newRow("clear past the end") << Edit{"clear", "100 110 120 130", 3, 9, 0, "", "100 110 120 0", 0};
        QTest::newRow("smooth: runs apart, 0s kept")
            << Edit{"smooth", "100 160 100 0 100 160 100 160", 0, 7, 3, "", "100 120 100 0 100 120 140 160", 0};
        QTest::newRow("smooth: window narrows at the ends")
            << Edit{"smooth", "100 200 100 200 100 200", 1, 4, 5, "", "100 200 167 133 100 200", 0};
        QTest::newRow("smooth: no overshoot") << Edit{"smooth", "250 250 250", 0, 2, 3, "", "250 200 250", 0};
        QTest::newRow("scale held in range") << Edit{"scale", "100 150 0 190 60", 0, 4, 200, "", "75 175 0 200 50", 0};
        QTest::newRow("scale mirrored") << Edit{"scale", "100 150 0", 0, 2, -100, "", "150 100 0", 0};
        QTest::newRow("offset up") << Edit{"offset", "100 190 0 55", 0, 3, 30, "", "130 200 0 85", 0};
        QTest::newRow("offset down") << Edit{"offset", "100 190 0 55", 1, 3, -30, "", "100 160 0 50", 0};
        QTest::newRow("shift whole track later grows it")
            << Edit{"shift", "10 20 30 40", 0, 3, 2, "", "0 0 10 20 30 40", 0};
        QTest::newRow("shift whole track earlier drops") << Edit{"shift", "10 20 30 40", 0, 3, -2, "", "30 40 0 0", 2};
        QTest::newRow("shift a stretch") << Edit{"shift", "10 20 30 40 50", 1, 2, 1, "", "10 0 20 30 50", 0};
        QTest::newRow("shift a stretch before frame 0")
            << Edit{"shift", "10 20 0 40 50", 1, 2, -3, "", "10 0 0 40 50", 1};
        QTest::newRow("shift a stretch past the end") << Edit{"shift", "10 20 30", 1, 2, 3, "", "10 0 0 0 20 30", 0};
        QTest::newRow("paste longer than the track")
            << Edit{"paste", "10 20 30", 2, 0, 0, "60 0 70 80", "10 20 60 0 70 80", 0};
        QTest::newRow("paste held in range") << Edit{"paste", "10 20 30", 0, 0, 0, "250 30", "200 50 30", 0};
        QTest::newRow("draw fills every frame")
            << Edit{"draw", "0 0 0 0 0 0", 1, 5, 100, "200", "0 100 125 150 175 200", 0};
        QTest::newRow("draw right to left")
            << Edit{"draw", "0 0 0 0 0 0", 5, 1, 200, "100", "0 100 125 150 175 200", 0};
        QTest::newRow("draw one frame: the last position") << Edit{"draw", "9 9 9", 1, 1, 60, "70", "9 70 9", 0};
        QTest::newRow("copy: nothing read past the track") << Edit{"copy", "10 20 30 99", 1, 4, 0, "", "20 30 0 0", 0};
        QTest::newRow("draw past the end, held") << Edit{"draw", "9 9 9 9 9 9", 4, 8, 30, "250", "9 9 9 9 50 85", 0};
    }
    void edit()
    {
        QFETCH(Edit, e);
        std::vector<qint16> d = parse(e.data);
        const edits::Limits limits{50, 200};
        const edits::FrameRange r{e.from, e.to};
        if (e.op == "clear")
            edits::clear(d, r);
        else if (e.op == "smooth")
            edits::smooth(d, r, e.value, limits);
        else if (e.op == "scale")
            edits::scale(d, r, e.value / 100.0, limits);
        else if (e.op == "offset")
            edits::offset(d, r, e.value, limits);
        else if (e.op == "shift") {
            QCOMPARE(edits::lostByShift(d, r, e.value), e.lost);
            edits::shift(d, r, e.value);
        } else if (e.op == "paste")
            edits::paste(d, e.from, parse(e.extra), limits);
        else if (e.op == "draw")
            edits::draw(d, {e.from, e.value}, {e.to, e.extra.toInt()}, limits);
        else if (e.op == "copy") // the track is all but the last number, which lies after it in memory
            d = edits::copy(std::span(d).first(d.size() - 1), r);
        QCOMPARE(show(d), e.expected);
    }

    void laneGeometry()
    {
        // 100 frames over 100 pixels, then 8 pixels a frame from frame 10.
        QCOMPARE(edits::frameAt(49.4, 0, 100, 100), 49);
        QCOMPARE(edits::frameAt(49.6, 0, 100, 100), 50);
        QCOMPARE(edits::frameAt(3.9, 10, 20, 80), 10);
        QCOMPARE(edits::frameAt(4.0, 10, 20, 80), 11);
        QCOMPARE(edits::xOfFrameStart(11, 10, 20, 80), 4.0);
        QCOMPARE(edits::positionAtRow(0, 20, {50, 200}), 200);
        QCOMPARE(edits::positionAtRow(19, 20, {50, 200}), 50);
        QCOMPARE(edits::positionAtRow(9.5, 20, {50, 200}), 125);
    }
};

QTEST_GUILESS_MAIN(TestMotionEnvelope)
#include "tst_motionenvelope.moc"
