// The arithmetic behind the waveform view: zoom, pan, the bytes a redraw reads and where they land, and the
// conversions between positions, view x and milliseconds (half-to-even rounding, zero divisors).
#include <QTest>

#include <functional>
#include <limits>
#include <map>

#include "sound/ViewSpan.h"
#include "sound/WaveformMath.h"
#include "support/RuntimeErrors.h"

namespace w = mk::wave;
using mk::test::errorNumber;

// A 3.5 s 16-bit stereo sound behind a canonical header.
constexpr int S = 45, E = 617355;

struct ViewRow {
    bool isZoom;
    int value;
    QList<int> sound; // start, end
    int a, b;
    QList<int> view; // displayStart, displayEnd, centre, panValue
};
struct Conversion {
    QString kind;
    double a;
    int b, c, d, expected;
};
struct Plan {
    int bits, displayStart, displayEnd;
    QList<double> plan; // start, end, range, count, first and last position, first and last x
};
struct Nav {
    QString op;
    double a, b;
    QList<qint64> span; // start and end before, then after
};
Q_DECLARE_METATYPE(ViewRow)
Q_DECLARE_METATYPE(Plan)
Q_DECLARE_METATYPE(Nav)
Q_DECLARE_METATYPE(Conversion)

class tst_WaveformMath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // zoom(z, soundStart, soundEnd, centre) and pan(value, soundStart, soundEnd,
    // displayStart, displayEnd): the view they leave.
    void view_data()
    {
        QTest::addColumn<ViewRow>("r");
        const auto row = [](const char* name, const ViewRow& r) { QTest::newRow(name) << r; };
        const QList<int> song{S, E};
        row("zoom: whole sound", {true, 1000, song, 308700, 0, {45, E, 308700, 0}});
        row("zoom: tenth, half ties to even", {true, 100, song, 308700, 0, {277834, 339566, 308700, 5000}});
        row("zoom: centre below half is raised", {true, 1, song, 0, 0, {0, 616, 308, 0}});
        row("zoom: centre past the end is lowered", {true, 1, song, 1000000000, 0, {616739, E, 617047, 10000}});
        row("zoom: hundredth off centre", {true, 10, song, 100000, 0, {96914, 103086, 100000, 1585}});
        row("zoom: width 5, half 2", {true, 5, {0, 1000}, 500, 0, {498, 502, 500, 5000}});
        row("pan: left, measured from 0", {false, 0, song, 277834, 339566, {0, 61732, 30866, 0}});
        row("pan: right", {false, 10000, song, 277834, 339566, {555578, 617310, 586444, 10000}});
        row("pan: middle", {false, 5000, song, 277834, 339566, {277789, 339521, 308655, 5000}});
        row("pan: start ties to even", {false, 5000, {0, 105}, 0, 100, {2, 102, 52, 5000}});
    }

    void view()
    {
        QFETCH(ViewRow, r);
        const auto& [isZoom, value, sound, a, b, expected] = r;
        const w::View v = isZoom ? w::zoom(qint16(value), sound[0], sound[1], a)
                                 : w::pan(qint16(value), sound[0], sound[1], a, b);
        QCOMPARE(QList<int>({v.displayStart, v.displayEnd, v.zoomCentre, v.panValue}), expected);
    }

    void overflowIsAnError()
    {
        // 32.767 times an hour-long sound does not fit 32 bits.
        QCOMPARE(errorNumber([] { w::zoom(32767, 45, 635040000, 1000); }), 6);
        const qint32 top = std::numeric_limits<qint32>::max() - 50;
        QVERIFY_THROWS_EXCEPTION(mk::RuntimeError, w::planPlot(8, top, top));
    }

    void conversions_data()
    {
        QTest::addColumn<Conversion>("k");
        // positionToMs(position, start, length, lengthMs)
        QTest::newRow("pos->ms 2.5 to 2") << Conversion{"positionToMs", 5.0, 0, 4, 2, 2};
        QTest::newRow("pos->ms before the start") << Conversion{"positionToMs", 0.0, 45, 1764000, 10000, 0};
        QTest::newRow("pos->ms zero length") << Conversion{"positionToMs", 500.0, 45, 0, 1000, 0};
        // msToPosition(ms, start, length, lengthMs)
        QTest::newRow("ms->pos 5 s of 10") << Conversion{"msToPosition", 5000.0, 45, 1764000, 10000, 882045};
        QTest::newRow("ms->pos 1.5 to 2") << Conversion{"msToPosition", 3.0, 45, 1, 2, 47};
        QTest::newRow("ms->pos zero ms length") << Conversion{"msToPosition", 700.0, 45, 1000, 0, 45};
        // clockPosition(ms, start, length, lengthMs)
        QTest::newRow("clock 2.5 to 2") << Conversion{"clockPosition", 5.0, 45, 1, 2, 47};
        QTest::newRow("clock 11 s of 60") << Conversion{"clockPosition", 11000.0, 45, 10584000, 60000, 1940445};
        QTest::newRow("clock zero ms length") << Conversion{"clockPosition", 50.0, 45, 1000, 0, 45};
        // mouseMs(position, start, length, lengthMs)
        QTest::newRow("mouse 2.5 to 2") << Conversion{"mouseMs", 50.0, 45, 2, 1, 2};
        QTest::newRow("mouse zero length") << Conversion{"mouseMs", 500.0, 0, 0, 1000, 0};
        // mousePosition(x, displayStart, displayEnd)
        QTest::newRow("x 500 of 1..1000, tie") << Conversion{"mousePosition", 500.0, 1, 1000, 0, 500};
        QTest::newRow("x 500 of the sound") << Conversion{"mousePosition", 500.0, S, E, 0, 308700};
        QTest::newRow("x left of the view") << Conversion{"mousePosition", -50.0, 45, 1045, 0, 0};
        QTest::newRow("x far right of a huge view")
            << Conversion{"mousePosition", 5000.0, 0, 2000000000, 0, std::numeric_limits<qint32>::max()};
        // cursorX(position, displayStart, displayEnd)
        QTest::newRow("cursor 500 of 1..1000") << Conversion{"cursorX", 500.0, 1, 1000, 0, 499};
        QTest::newRow("marker -100, no sound") << Conversion{"cursorX", -100.0, 1, 1000, 0, -101};
        QTest::newRow("cursor at the end") << Conversion{"cursorX", double(E), S, E, 0, 1000};
        QTest::newRow("cursor in an empty view") << Conversion{"cursorX", 500.0, 700, 700, 0, 0};
        QTest::newRow("cursor far away is clamped") << Conversion{"cursorX", 2e9, 0, 1, 0, 1000000};
        // plotValue(byte, highBytes) and silenceValue(highBytes): the height drawn
        QTest::newRow("8-bit as is") << Conversion{"plotValue", 200.0, 0, 0, 0, 200};
        QTest::newRow("high 0") << Conversion{"plotValue", 0.0, 1, 0, 0, 127};
        QTest::newRow("high 127") << Conversion{"plotValue", 127.0, 1, 0, 0, 254};
        QTest::newRow("high -128") << Conversion{"plotValue", 128.0, 1, 0, 0, 0};
        QTest::newRow("high -1") << Conversion{"plotValue", 255.0, 1, 0, 0, 127};
        QTest::newRow("8-bit silence") << Conversion{"silenceValue", 0.0, 0, 0, 0, 128};
        QTest::newRow("16-bit silence") << Conversion{"silenceValue", 0.0, 1, 0, 0, 127};
    }

    void conversions()
    {
        QFETCH(Conversion, k);
        const auto& [kind, a, b, c, d, expected] = k;
        using F = std::function<qint32(double, int, int, int)>;
        const std::map<QString, F> call{
            {"positionToMs", [](double a, int b, int c, int d) { return w::positionToMs(qint32(a), b, c, d); }},
            {"msToPosition", [](double a, int b, int c, int d) { return w::msToPosition(qint32(a), b, c, d); }},
            {"clockPosition", [](double a, int b, int c, int d) { return w::clockPosition(qint32(a), b, c, d); }},
            {"mouseMs", [](double a, int b, int c, int d) { return w::mouseMs(qint32(a), b, c, d); }},
            {"mousePosition", [](double a, int b, int c, int) { return w::mousePosition(a, b, c); }},
            {"cursorX", [](double a, int b, int c, int) { return w::cursorX(qint32(a), b, c); }},
            {"plotValue", [](double a, int b, int, int) { return qint32(w::plotValue(b != 0, quint8(a))); }},
            {"silenceValue", [](double, int b, int, int) { return qint32(w::silenceValue(b != 0)); }}};
        QCOMPARE(int(call.at(kind)(a, b, c, d)), expected);
    }

    // The points a redraw reads: how many, the first and last (position and x), and the view and range it leaves.
    void plan_data()
    {
        QTest::addColumn<Plan>("r");
        QTest::newRow("8-bit wide") << Plan{8, 45, 10045, {45, 10045, 10000, 1000, 55, 10045, 1, 1000}};
        QTest::newRow("8-bit 999 wide reads every byte") << Plan{8, 45, 1044, {45, 1044, 999, 1000, 45, 1044, 0, 1000}};
        QTest::newRow("8-bit 1000 wide, integer part") << Plan{8, 45, 1045, {45, 1045, 1000, 1000, 46, 1045, 1, 1000}};
        QTest::newRow("8-bit under 100 widened") << Plan{8, 45, 95, {45, 145, 100, 101, 45, 145, 0, 1000}};
        QTest::newRow("8-bit reversed range widened") << Plan{8, 500, 100, {500, 600, 100, 101, 500, 600, 0, 1000}};
        QTest::newRow("16-bit wide, odd to even") << Plan{16, 45, 20045, {45, 20045, 20000, 1000, 66, 20046, 1, 1000}};
        QTest::newRow("16-bit narrow starts even") << Plan{16, 45, 1045, {46, 1045, 1000, 500, 46, 1044, 0, 998}};
        QTest::newRow("16-bit narrow from 0 starts at 2") << Plan{16, 0, 50, {2, 100, 100, 50, 2, 100, 0, 980}};
        QTest::newRow("24-bit drawn as 16-bit") << Plan{24, 44, 1044, {44, 1044, 1000, 501, 44, 1044, 0, 1000}};
    }

    void plan()
    {
        QFETCH(Plan, r);
        const w::PlotPlan p = w::planPlot(qint16(r.bits), r.displayStart, r.displayEnd);
        QList<double> got{double(p.displayStart), double(p.displayEnd), p.range, double(p.points.size()),
                          double(p.points.front().position), double(p.points.back().position), p.points.front().x,
                          p.points.back().x};
        for (double& v : got)
            v = std::round(v * 1e6) / 1e6;
        QCOMPARE(got, r.plan);
        QCOMPARE(p.highBytes, r.bits != 8);
        if (p.highBytes)
            for (const w::PlotPoint& pt : p.points)
                QVERIFY2(pt.position % 2 == 0, "16-bit points must fall on high bytes");
    }

    // Zoom and pan of the view over a 10 000-frame sound of 5880 positions a frame (16-bit stereo at 44.1 kHz) in
    // 1000 pixels: the narrowest view is 125 frames (8 pixels a frame), 735 000 positions.
    void navigation_data()
    {
        QTest::addColumn<Nav>("n");
        const auto row = [](const char* name, const Nav& r) { QTest::newRow(name) << r; };
        const qint64 e = 58800044;
        row("zoom in keeps the position under the pointer", {"zoomAt", 0.25, 0.5, {44, e, 7350044, 36750044}});
        row("zoom in stops at 8 pixels a frame", {"zoomAt", 0.5, 0.5, {10000044, 11000044, 10132544, 10867544}});
        row("at that limit the view does not creep", {"zoomAt", 0.9, 0.5, {10132544, 10867544, 10132544, 10867544}});
        row("zoom out stops at the whole sound", {"zoomAt", 0.5, 4.0, {7350044, 36750044, 44, e}});
        row("zoom out at the end stays in the sound", {"zoomAt", 0.9, 2.0, {50000044, e, 41200044, e}});
        row("a wheel notch in at the left edge", {"wheelZoom", 0.0, 120.0, {44, e, 44, 47040044}});
        row("a wheel notch out", {"wheelZoom", 0.5, -120.0, {10000044, 11000044, 9875044, 11125044}});
        row("+ around the cursor in view", {"zoomAround", 29400044.0, 0.5, {44, e, 14700044, 44100044}});
        row("+ around a cursor out of view centres it",
            {"zoomAround", 30000044.0, 0.5, {44, 1000044, 29632544, 30367544}});
        row("pan stops at the start", {"pan", -5e6, 0.0, {1000044, 2000044, 44, 1000044}});
        row("pan stops at the end", {"pan", 1e8, 0.0, {1000044, 2000044, 57800044, e}});
        row("a wheel notch pans a tenth back", {"wheelPan", 120.0, 0.0, {10000044, 11000044, 9900044, 10900044}});
        row("touchpad pixels move the picture with the fingers",
            {"wheelPan", 0.0, -250.0, {10000044, 11000044, 10250044, 11250044}});
        row("cursor in view: no page", {"follow", 10500000.0, 0.0, {10000044, 11000044, 10000044, 11000044}});
        row("cursor past the end turns the page",
            {"follow", 11000044.0, 0.0, {10000044, 11000044, 11000044, 12000044}});
        row("cursor back at the start", {"follow", 44.0, 0.0, {10000044, 11000044, 44, 1000044}});
        row("last page ends at the end", {"follow", 58500000.0, 0.0, {10000044, 11000044, 57800044, e}});
        row("scroll bar moves the view", {"bar", 2e7, 0.0, {44, 1000044, 20000000, 21000000}});
        row("scroll bar past the end", {"bar", 6e7, 0.0, {44, 1000044, 57800044, e}});
        row("0: the whole sound", {"whole", 0.0, 0.0, {10000044, 11000044, 44, e}});
    }

    void navigation()
    {
        QFETCH(Nav, n);
        const auto& [op, a, b, span] = n;
        namespace v = mk::view;
        const v::Limits l{44, 58800044, 5880, 1000};
        const v::Span s{span[0], span[1]};
        using F = std::function<v::Span(const v::Span&, const v::Limits&, double, double)>;
        const std::map<QString, F> call{
            {"zoomAt", [](auto& s, auto& l, double a, double b) { return v::zoomAt(s, l, a, b); }},
            {"wheelZoom",
             [](auto& s, auto& l, double a, double b) { return v::zoomAt(s, l, a, v::zoomFactor(int(b))); }},
            {"zoomAround", [](auto& s, auto& l, double a, double b) { return v::zoomAround(s, l, qint64(a), b); }},
            {"pan", [](auto& s, auto& l, double a, double) { return v::panBy(s, l, a); }},
            {"wheelPan",
             [](auto& s, auto& l, double a, double b) { return v::panBy(s, l, v::panAmount(s, l, int(a), int(b))); }},
            {"follow", [](auto& s, auto& l, double a, double) { return v::follow(s, l, qint64(a)); }},
            {"bar", [](auto& s, auto& l, double a, double) { return v::fromScrollBar(s, l, int(a)); }},
            {"whole", [](auto&, auto& l, double, double) { return v::whole(l); }}};
        const v::Span r = call.at(op)(s, l, a, b);
        QCOMPARE(QList<qint64>({r.start, r.end}), span.mid(2));
        // The scroll bar shows the result: its handle is the view, its travel the rest of the sound.
        const v::Bar bar = v::scrollBar(r, l);
        QCOMPARE(QList<qint64>({bar.value, bar.pageStep, bar.maximum, bar.minimum}),
                 QList<qint64>({r.start, r.width(), 58800044 - r.width(), 44}));
    }

    void navigationLimitsOfASound()
    {
        // 16-bit stereo at 44.1 kHz: 176 400 positions a second.
        const mk::view::Limits l = mk::view::limitsOf(44, 1764044, 1764000, 10000, 800);
        QCOMPARE(l.positionsPerFrame, 5880.0);
        QCOMPARE(mk::view::narrowest(l), 588000LL); // 100 frames in 800 pixels
        // A sound shorter than that is only ever shown whole.
        QCOMPARE(mk::view::narrowest(mk::view::limitsOf(44, 100044, 100000, 567, 800)), 100000LL);
    }
};

QTEST_GUILESS_MAIN(tst_WaveformMath)
#include "tst_WaveformMath.moc"
