// The arithmetic of editing a track, as rows: clear, smooth (with frames of
// nothing recorded among them), scale and offset held within the servo's
// range, shift across both ends, paste longer than the track, and drawing
// that fills every frame between two pointer positions, copy of a stretch
// running past the end. Servo range 50..200.
#include <QTest>

#include "tracks/TrackEdits.h"

namespace edits = mk::edits;

namespace {

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

} // namespace

class TestTrackEdits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void edit_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("from"); // paste: at; draw: first frame
        QTest::addColumn<int>("to");   // draw: last frame
        QTest::addColumn<int>("value"); // frames, percent, delta, shift; draw: first position
        QTest::addColumn<QString>("extra"); // paste: clip; draw: last position
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("lost");

        QTest::newRow("clear") << "clear" << "100 110 120 130 140" << 1 << 3 << 0 << "" << "100 0 0 0 140" << 0;
        QTest::newRow("clear past the end") << "clear" << "100 110 120 130" << 3 << 9 << 0 << "" << "100 110 120 0" << 0;
        QTest::newRow("smooth: runs apart, 0s kept") << "smooth" << "100 160 100 0 100 160 100 160" << 0 << 7 << 3 << ""
                                                     << "100 120 100 0 100 120 140 160" << 0;
        QTest::newRow("smooth: window narrows at the ends") << "smooth" << "100 200 100 200 100 200" << 1 << 4 << 5
                                                            << "" << "100 200 167 133 100 200" << 0;
        QTest::newRow("smooth: no overshoot") << "smooth" << "250 250 250" << 0 << 2 << 3 << "" << "250 200 250" << 0;
        QTest::newRow("scale held in range") << "scale" << "100 150 0 190 60" << 0 << 4 << 200 << ""
                                             << "75 175 0 200 50" << 0;
        QTest::newRow("scale mirrored") << "scale" << "100 150 0" << 0 << 2 << -100 << "" << "150 100 0" << 0;
        QTest::newRow("offset up") << "offset" << "100 190 0 55" << 0 << 3 << 30 << "" << "130 200 0 85" << 0;
        QTest::newRow("offset down") << "offset" << "100 190 0 55" << 1 << 3 << -30 << "" << "100 160 0 50" << 0;
        QTest::newRow("shift whole track later grows it") << "shift" << "10 20 30 40" << 0 << 3 << 2 << ""
                                                          << "0 0 10 20 30 40" << 0;
        QTest::newRow("shift whole track earlier drops") << "shift" << "10 20 30 40" << 0 << 3 << -2 << ""
                                                         << "30 40 0 0" << 2;
        QTest::newRow("shift a stretch") << "shift" << "10 20 30 40 50" << 1 << 2 << 1 << "" << "10 0 20 30 50" << 0;
        QTest::newRow("shift a stretch before frame 0") << "shift" << "10 20 0 40 50" << 1 << 2 << -3 << ""
                                                        << "10 0 0 40 50" << 1;
        QTest::newRow("shift a stretch past the end") << "shift" << "10 20 30" << 1 << 2 << 3 << ""
                                                      << "10 0 0 0 20 30" << 0;
        QTest::newRow("paste longer than the track") << "paste" << "10 20 30" << 2 << 0 << 0 << "60 0 70 80"
                                                     << "10 20 60 0 70 80" << 0;
        QTest::newRow("paste held in range") << "paste" << "10 20 30" << 0 << 0 << 0 << "250 30" << "200 50 30" << 0;
        QTest::newRow("draw fills every frame") << "draw" << "0 0 0 0 0 0" << 1 << 5 << 100 << "200"
                                                << "0 100 125 150 175 200" << 0;
        QTest::newRow("draw right to left") << "draw" << "0 0 0 0 0 0" << 5 << 1 << 200 << "100"
                                            << "0 100 125 150 175 200" << 0;
        QTest::newRow("draw one frame: the last position") << "draw" << "9 9 9" << 1 << 1 << 60 << "70" << "9 70 9" << 0;
        QTest::newRow("copy: nothing read past the track") << "copy" << "10 20 30 99" << 1 << 4 << 0 << "" << "20 30 0 0"
                                                           << 0;
        QTest::newRow("draw past the end, held") << "draw" << "9 9 9 9 9 9" << 4 << 8 << 30 << "250"
                                                 << "9 9 9 9 50 85" << 0;
    }
    void edit()
    {
        QFETCH(QString, op);
        QFETCH(QString, data);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, value);
        QFETCH(QString, extra);
        QFETCH(QString, expected);
        QFETCH(int, lost);
        std::vector<qint16> d = parse(data);
        const edits::Limits limits{50, 200};
        const edits::FrameRange r{from, to};
        if (op == "clear")
            edits::clear(d, r);
        else if (op == "smooth")
            edits::smooth(d, r, value, limits);
        else if (op == "scale")
            edits::scale(d, r, value / 100.0, limits);
        else if (op == "offset")
            edits::offset(d, r, value, limits);
        else if (op == "shift") {
            QCOMPARE(edits::lostByShift(d, r, value), lost);
            edits::shift(d, r, value);
        } else if (op == "paste")
            edits::paste(d, from, parse(extra), limits);
        else if (op == "draw")
            edits::draw(d, {from, value}, {to, extra.toInt()}, limits);
        else if (op == "copy") // the track is all but the last number, which lies after it in memory
            d = edits::copy(std::span(d).first(d.size() - 1), r);
        QCOMPARE(show(d), expected);
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

QTEST_GUILESS_MAIN(TestTrackEdits)
#include "tst_trackedits.moc"
