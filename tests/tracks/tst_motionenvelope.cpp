// The lanes' arithmetic without widgets: the envelope of each pixel column
// (frames holding 0 are gaps), and the edits of a track held within 50..200.
#include <QRandomGenerator>
#include <QTest>

#include <functional>
#include <map>

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

/// A span as its first and last frame, to compare.
std::pair<qint64, qint64> ends(FrameSpan s) { return {s.from, s.to}; }

std::vector<qint16> parse(const QString& text)
{
    std::vector<qint16> v;
    for (const QString& s : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        v.push_back(qint16(s.toInt()));
    return v;
}

struct Edit {
    QString op, data;
    int from, to; // paste: at; draw: first frame, last frame
    int value;    // frames, percent, delta, shift; draw: first position
    QString expected;
    int lost = 0;       // shift: frames pushed out
    QString extra = {}; // paste: clip; draw: last position
};
} // namespace
Q_DECLARE_METATYPE(Edit)

class TestMotionEnvelope : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Min and max per pixel column; frames holding 0 are gaps, not position 0.
    void envelope()
    {
        const struct { std::vector<qint16> data; double first, last; int columns; QList<int> loHi; } known[] = {
            {{10, 20, 30, 40, 50, 5}, 0.0, 6.0, 3, {10, 20, 30, 40, 5, 50}},
            {{0, 0, 100, 0, 0, 0, 7, 0}, 0.0, 8.0, 4, {0, 0, 100, 100, 0, 0, 7, 7}},
            {{1, 2}, -2.0, 4.0, 3, {0, 0, 1, 2, 0, 0}},             // past the end and before the start: gaps
            {{9, 60}, 0.0, 2.0, 4, {9, 9, 60, 60, 60, 60, 0, 0}}}; // zoomed in: each frame spans columns
        for (const auto& k : known) {
            MotionEnvelope e;
            e.assign(k.data);
            QList<int> got;
            for (const ColumnRange r : e.columns(k.first, k.last, k.columns))
                got << r.lo << r.hi;
            QCOMPARE(got, k.loHi);
        }

        // The block summaries give what a scan of every frame gives, for every kind of view over a long, gappy
        // recording, and stay right as frames change one by one (recording) and as the length changes.
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
            QCOMPARE(ends(e.sync(data, f - 1, f)), std::pair(f, f));
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
        QCOMPARE(ends(e.syncAll(data)), (std::pair<qint64, qint64>(216001, 299999)));
        QCOMPARE(e.range(0, 299999), rangeOf(data, 0, 299999));
        // Recording past the end grows the track a frame at a time.
        data.push_back(17);
        QCOMPARE(ends(e.sync(data, 299999, 300000)), (std::pair<qint64, qint64>(300000, 300000)));
        QCOMPARE(e.range(299000, 300000), rangeOf(data, 299000, 300000));
        data.resize(10);
        QCOMPARE(e.syncAll(data).to, qint64(300000));
        QCOMPARE(e.size(), qint64(10));
    }

    void edit_data()
    {
        QTest::addColumn<Edit>("e");
        auto row = [](const char* name, const Edit& e) { QTest::newRow(name) << e; };
        row("clear", {"clear", "100 110 120 130 140", 1, 3, 0, "100 0 0 0 140"});
        row("clear past the end", {"clear", "100 110 120 130", 3, 9, 0, "100 110 120 0"});
        row("smooth runs apart", {"smooth", "100 160 100 0 100 160 100 160", 0, 7, 3, "100 120 100 0 100 120 140 160"});
        row("smooth: narrower at the ends", {"smooth", "100 200 100 200 100 200", 1, 4, 5, "100 200 167 133 100 200"});
        row("smooth: no overshoot", {"smooth", "250 250 250", 0, 2, 3, "250 200 250"});
        row("scale held in range", {"scale", "100 150 0 190 60", 0, 4, 200, "75 175 0 200 50"});
        row("scale mirrored", {"scale", "100 150 0", 0, 2, -100, "150 100 0"});
        row("offset up", {"offset", "100 190 0 55", 0, 3, 30, "130 200 0 85"});
        row("offset down", {"offset", "100 190 0 55", 1, 3, -30, "100 160 0 50"});
        row("shift all later: grows", {"shift", "10 20 30 40", 0, 3, 2, "0 0 10 20 30 40"});
        row("shift all earlier: drops", {"shift", "10 20 30 40", 0, 3, -2, "30 40 0 0", 2});
        row("shift a stretch", {"shift", "10 20 30 40 50", 1, 2, 1, "10 0 20 30 50"});
        row("shift a stretch before frame 0", {"shift", "10 20 0 40 50", 1, 2, -3, "10 0 0 40 50", 1});
        row("shift a stretch past the end", {"shift", "10 20 30", 1, 2, 3, "10 0 0 0 20 30"});
        row("paste past the end", {"paste", "10 20 30", 2, 0, 0, "10 20 60 0 70 80", 0, "60 0 70 80"});
        row("paste held in range", {"paste", "10 20 30", 0, 0, 0, "200 50 30", 0, "250 30"});
        row("draw fills every frame", {"draw", "0 0 0 0 0 0", 1, 5, 100, "0 100 125 150 175 200", 0, "200"});
        row("draw right to left", {"draw", "0 0 0 0 0 0", 5, 1, 200, "0 100 125 150 175 200", 0, "100"});
        row("draw one frame: the last position", {"draw", "9 9 9", 1, 1, 60, "9 70 9", 0, "70"});
        row("copy: nothing read past the track", {"copy", "10 20 30 99", 1, 4, 0, "20 30 0 0"});
        row("draw past the end, held", {"draw", "9 9 9 9 9 9", 4, 8, 30, "9 9 9 9 50 85", 0, "250"});
    }
    void edit()
    {
        QFETCH(Edit, e);
        std::vector<qint16> d = parse(e.data);
        const edits::Limits limits{50, 200};
        const edits::FrameRange r{e.from, e.to};
        if (e.op == "shift")
            QCOMPARE(edits::lostByShift(d, r, e.value), e.lost);
        const std::map<QString, std::function<void()>> apply{
            {"clear", [&] { edits::clear(d, r); }},
            {"smooth", [&] { edits::smooth(d, r, e.value, limits); }},
            {"scale", [&] { edits::scale(d, r, e.value / 100.0, limits); }},
            {"offset", [&] { edits::offset(d, r, e.value, limits); }},
            {"shift", [&] { edits::shift(d, r, e.value); }},
            {"paste", [&] { edits::paste(d, e.from, parse(e.extra), limits); }},
            {"draw", [&] { edits::draw(d, {e.from, e.value}, {e.to, e.extra.toInt()}, limits); }},
            // The track is all but the last number, which lies after it in memory.
            {"copy", [&] { d = edits::copy(std::span(d).first(d.size() - 1), r); }}};
        apply.at(e.op)();
        const std::vector<qint16> expected = parse(e.expected);
        QCOMPARE(QList<qint16>(d.begin(), d.end()), QList<qint16>(expected.begin(), expected.end()));
    }

    // The frames each pixel column covers, the frames a lane shows, the row of a position.
    void laneGeometry()
    {
        const struct { double first, last; int columns, column; qint64 from, to; } spans[] = {
            {0.0, 100.0, 10, 9, 90, 99}, // 10 frames a column: the last
            {0.5, 10.5, 4, 1, 3, 5},     // fractional edges
            {10.0, 11.0, 4, 0, 10, 10},  // zoomed in: the frame nearest the column's middle
            {10.0, 11.0, 4, 2, 11, 11},  // past the half
            {-20.0, -10.0, 2, 0, -20, -16},
            {0.0, 10.0, 2, 2, 0, -1}, // column out of range
            {0.0, 10.0, 0, 0, 0, -1}, // no columns
            {-1e300, 1e300, 1, 0, qint64(-1e15), qint64(1e15) - 1}}; // absurd edges are tamed
        for (const auto& c : spans)
            QCOMPARE(ends(columnFrames(c.first, c.last, c.columns, c.column)), std::pair(c.from, c.to));

        // A 10 s sound of 441000 bytes after a 44-byte header: 300 frames; display start, end -> first, last.
        const struct { bool hasSound; int start, end, length, ms, maxframe; double first, last; } windows[] = {
            {true, 45, 441045, 441000, 10000, 300, 0.0, 300.0},       // the whole sound
            {false, 1, 1000, 1000, 1000, 600, 0.6, 600.0},            // no sound: the whole track
            {true, 45, 100, 0, 0, 0, 0.0, 0.0}};                      // a zero-length sound
        for (const auto& w : windows) {
            const FrameWindow got = frameWindow(w.hasSound, w.start, w.end, 45, w.length, w.ms, w.maxframe);
            QCOMPARE(std::make_pair(got.first, got.last), std::make_pair(w.first, w.last));
        }

        // Of 21 rows, the highest position on top; beyond the range held at the edge; an empty range in the middle.
        const int rows[][4] = {{200, 100, 200, 0}, {100, 100, 200, 20}, {150, 100, 200, 10},
                               {255, 100, 200, 0}, {1, 100, 200, 20},   {5, 128, 128, 10}};
        for (const auto& [value, low, high, row] : rows)
            QCOMPARE(rowOf(value, low, high, 21), row);

        // 8 pixels a frame from frame 10: a pixel belongs to the frame whose middle is nearest.
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
