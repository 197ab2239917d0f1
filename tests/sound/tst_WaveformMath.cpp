// The arithmetic behind the waveform view: zoom, pan, the bytes a redraw reads and where they land, and the
// conversions between positions, view x and milliseconds (half-to-even rounding, zero divisors).
#include <QTest>

#include <limits>

#include "sound/ViewSpan.h"
#include "sound/WaveformMath.h"
#include "support/RuntimeErrors.h"

namespace w = mk::wave;
using mk::test::errorNumber;

// A 3.5 s 16-bit stereo sound behind a canonical header.
constexpr int S = 45, E = 617355;

using Values = QList<qint64>;
struct Plan {
    int bits, displayStart, displayEnd;
    QList<double> plan; // start, end, range, count, first and last position, first and last x
};
Q_DECLARE_METATYPE(Plan)

namespace {
Values of(const w::View& v) { return {v.displayStart, v.displayEnd, v.zoomCentre, v.panValue}; }
/// A span, then the scroll bar that shows it: its handle is the view, its travel the rest of the sound.
Values of(const mk::view::Span& s, const mk::view::Limits& l)
{
    const mk::view::Bar bar = mk::view::scrollBar(s, l);
    return {s.start, s.end, bar.value, bar.pageStep, bar.maximum, bar.minimum};
}
} // namespace

class tst_WaveformMath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each call with its result from the rules: zoom(z, soundStart, soundEnd, centre) and pan(value, soundStart,
    // soundEnd, displayStart, displayEnd) give the view (start, end, centre, pan value); the conversions between
    // positions, view x and milliseconds; plotValue and silenceValue the height drawn.
    void calls_data()
    {
        QTest::addColumn<Values>("got");
        QTest::addColumn<Values>("want");
        const auto row = [](const char* name, const Values& got, const Values& want) {
            QTest::newRow(name) << got << want;
        };
        row("zoom: whole sound", of(w::zoom(1000, S, E, 308700)), {45, E, 308700, 0});
        row("zoom: tenth, half ties to even", of(w::zoom(100, S, E, 308700)), {277834, 339566, 308700, 5000});
        row("zoom: centre below half is raised", of(w::zoom(1, S, E, 0)), {0, 616, 308, 0});
        row("zoom: centre past the end is lowered", of(w::zoom(1, S, E, 1000000000)), {616739, E, 617047, 10000});
        row("zoom: hundredth off centre", of(w::zoom(10, S, E, 100000)), {96914, 103086, 100000, 1585});
        row("zoom: width 5, half 2", of(w::zoom(5, 0, 1000, 500)), {498, 502, 500, 5000});
        row("pan: left, measured from 0", of(w::pan(0, S, E, 277834, 339566)), {0, 61732, 30866, 0});
        row("pan: right", of(w::pan(10000, S, E, 277834, 339566)), {555578, 617310, 586444, 10000});
        row("pan: middle", of(w::pan(5000, S, E, 277834, 339566)), {277789, 339521, 308655, 5000});
        row("pan: start ties to even", of(w::pan(5000, 0, 105, 0, 100)), {2, 102, 52, 5000});
        row("pos->ms 2.5 to 2", {w::positionToMs(5, 0, 4, 2)}, {2});
        row("pos->ms before the start", {w::positionToMs(0, 45, 1764000, 10000)}, {0});
        row("pos->ms zero length", {w::positionToMs(500, 45, 0, 1000)}, {0});
        row("ms->pos 5 s of 10", {w::msToPosition(5000, 45, 1764000, 10000)}, {882045});
        row("ms->pos 1.5 to 2", {w::msToPosition(3, 45, 1, 2)}, {47});
        row("ms->pos zero ms length", {w::msToPosition(700, 45, 1000, 0)}, {45});
        row("clock 2.5 to 2", {w::clockPosition(5, 45, 1, 2)}, {47});
        row("clock 11 s of 60", {w::clockPosition(11000, 45, 10584000, 60000)}, {1940445});
        row("clock zero ms length", {w::clockPosition(50, 45, 1000, 0)}, {45});
        row("mouse 2.5 to 2", {w::mouseMs(50, 45, 2, 1)}, {2});
        row("mouse zero length", {w::mouseMs(500, 0, 0, 1000)}, {0});
        row("x 500 of 1..1000, tie", {w::mousePosition(500, 1, 1000)}, {500});
        row("x 500 of the sound", {w::mousePosition(500, S, E)}, {308700});
        row("x left of the view", {w::mousePosition(-50, 45, 1045)}, {0});
        row("x far right of a huge view", {w::mousePosition(5000, 0, 2000000000)}, {2147483647});
        row("cursor 500 of 1..1000", {w::cursorX(500, 1, 1000)}, {499});
        row("marker -100, no sound", {w::cursorX(-100, 1, 1000)}, {-101});
        row("cursor at the end", {w::cursorX(E, S, E)}, {1000});
        row("cursor in an empty view", {w::cursorX(500, 700, 700)}, {0});
        row("cursor far away is clamped", {w::cursorX(2000000000, 0, 1)}, {1000000});
        row("8-bit as is", {w::plotValue(false, 200)}, {200});
        row("high 0", {w::plotValue(true, 0)}, {127});
        row("high 127", {w::plotValue(true, 127)}, {254});
        row("high -128", {w::plotValue(true, 128)}, {0});
        row("high -1", {w::plotValue(true, 255)}, {127});
        row("8-bit silence", {w::silenceValue(false)}, {128});
        row("16-bit silence", {w::silenceValue(true)}, {127});

        // Zoom and pan over a 10 000-frame sound of 5880 positions a frame (16-bit stereo at 44.1 kHz) in 1000
        // pixels: the narrowest view is 125 frames (8 pixels a frame), 735 000 positions.
        namespace v = mk::view;
        const qint64 e = 58800044;
        const v::Limits l{44, e, 5880, 1000};
        const auto nav = [&](const char* name, const v::Span& got, qint64 start, qint64 end) {
            row(name, of(got, l), {start, end, start, end - start, e - (end - start), 44});
        };
        const v::Span all{44, e}, page{10000044, 11000044}, first{44, 1000044}, second{1000044, 2000044};
        nav("zoom in keeps the position under the pointer", v::zoomAt(all, l, 0.25, 0.5), 7350044, 36750044);
        nav("zoom in stops at 8 pixels a frame", v::zoomAt(page, l, 0.5, 0.5), 10132544, 10867544);
        nav("at that limit the view does not creep", v::zoomAt({10132544, 10867544}, l, 0.9, 0.5), 10132544, 10867544);
        nav("zoom out stops at the whole sound", v::zoomAt({7350044, 36750044}, l, 0.5, 4.0), 44, e);
        nav("zoom out at the end stays in the sound", v::zoomAt({50000044, e}, l, 0.9, 2.0), 41200044, e);
        nav("a wheel notch in at the left edge", v::zoomAt(all, l, 0.0, v::zoomFactor(120)), 44, 47040044);
        nav("a wheel notch out", v::zoomAt(page, l, 0.5, v::zoomFactor(-120)), 9875044, 11125044);
        nav("+ around the cursor in view", v::zoomAround(all, l, 29400044, 0.5), 14700044, 44100044);
        nav("+ around a cursor out of view", v::zoomAround(first, l, 30000044, 0.5), 29632544, 30367544);
        nav("pan stops at the start", v::panBy(second, l, -5e6), 44, 1000044);
        nav("pan stops at the end", v::panBy(second, l, 1e8), 57800044, e);
        nav("a wheel notch pans a tenth back", v::panBy(page, l, v::panAmount(page, l, 120, 0)), 9900044, 10900044);
        nav("touchpad pixels move the picture with the fingers", v::panBy(page, l, v::panAmount(page, l, 0, -250)),
            10250044, 11250044);
        nav("cursor in view: no page", v::follow(page, l, 10500000), 10000044, 11000044);
        nav("cursor past the end: next page", v::follow(page, l, 11000044), 11000044, 12000044);
        nav("cursor back at the start", v::follow(page, l, 44), 44, 1000044);
        nav("last page ends at the end", v::follow(page, l, 58500000), 57800044, e);
        nav("scroll bar moves the view", v::fromScrollBar(first, l, 20000000), 20000000, 21000000);
        nav("scroll bar past the end", v::fromScrollBar(first, l, 60000000), 57800044, e);
        nav("0: the whole sound", v::whole(l), 44, e);
        // A sound shorter than the narrowest view (100 frames in 800 pixels) is only ever shown whole.
        row("short sound", {v::narrowest(v::limitsOf(44, 100044, 100000, 567, 800))}, {100000});
    }

    void calls()
    {
        QFETCH(Values, got);
        QTEST(got, "want");
    }

    void overflowIsAnError()
    {
        // 32.767 times an hour-long sound does not fit 32 bits.
        QCOMPARE(errorNumber([] { w::zoom(32767, 45, 635040000, 1000); }), 6);
        const qint32 top = std::numeric_limits<qint32>::max() - 50;
        QVERIFY_THROWS_EXCEPTION(mk::RuntimeError, w::planPlot(8, top, top));
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
};

QTEST_GUILESS_MAIN(tst_WaveformMath)
#include "tst_WaveformMath.moc"
