// What a take changed, and putting a track back to either side of it: every
// frame, the length and maxframe come back exactly, whatever the change.
#include <QTest>
#include <malloc.h>

#include "platform/Joystick.h"
#include "tracks/ServoTrack.h"
#include "tracks/TakeDiff.h"
#include "tracks/TrackEdits.h"

using mk::ServoTrack;
namespace takes = mk::takes;

namespace {

struct State {
    std::vector<qint16> data;
    qint32 maxframe;
    friend bool operator==(const State&, const State&) = default;
};

State stateOf(const ServoTrack& t) { return {t.recording(), t.maxframe()}; }

enum class Edit { Frames, Grow, Cut, CutZeros, LengthApart, Opened, Scaled, Shifted, Pasted, Nothing };

/// An edit made as the window makes it: on a copy, then written back
/// through the track's members, the track grown to the copy's length.
template <class F>
void edited(ServoTrack& t, F edit)
{
    std::vector<qint16> d = t.recording();
    edit(d);
    if (qint32(d.size()) - 1 > t.datalength())
        t.setMaxframe(qint32(d.size()) - 1);
    t.setDataStartPoint(0);
    for (qint16 v : d)
        t.setData(v);
}

qint64 heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

/// Whether the allocator's figures follow what is allocated (not so under
/// a sanitizer, which brings its own).
bool heapFiguresWork()
{
    const qint64 before = heapInUse();
    const QByteArray block(1 << 16, '\0'); // allocated in Qt: not optimized away
    return heapInUse() - before >= block.size();
}

/// Applies one kind of change to a track holding 600 frames of a take.
void change(ServoTrack& t, Edit e)
{
    switch (e) {
    case Edit::Frames: // two stretches of a take and a single frame
        for (qint32 f = 100; f < 160; ++f) {
            t.setDataStartPoint(f);
            t.setData(qint16(f % 200 + 20));
        }
        t.setDataStartPoint(400);
        t.setData(33);
        t.setDataStartPoint(590);
        t.setData(250);
        break;
    case Edit::Grow: // a longer sound, then frames past the old end
        t.setMaxframe(900);
        t.setDataStartPoint(850);
        t.setData(77);
        break;
    case Edit::Cut: // a shorter sound cuts recorded frames
        t.setMaxframe(300);
        break;
    case Edit::CutZeros: // nothing was recorded at the end
        t.setMaxframe(595);
        break;
    case Edit::LengthApart: // datalength written past maxframe, as loading does
        t.setMaxframe(500);
        t.setDatalength(700);
        t.setDataStartPoint(650);
        t.setData(9);
        break;
    case Edit::Opened: // a longer show opened over it, recorded throughout
        t.setMaxframe(18000);
        for (qint32 f = 600; f <= 18000; ++f) {
            t.setDataStartPoint(f);
            t.setData(qint16(1 + f % 250));
        }
        break;
    case Edit::Scaled:
        edited(t, [](std::vector<qint16>& d) { mk::edits::scale(d, {50, 400}, 1.5, {20, 240}); });
        break;
    case Edit::Shifted: // the whole track later, past its end
        edited(t, [](std::vector<qint16>& d) { mk::edits::shift(d, {0, 599}, 45); });
        break;
    case Edit::Pasted: // a stretch longer than what is left of the track
        edited(t, [](std::vector<qint16>& d) {
            mk::edits::paste(d, 560, mk::edits::copy(d, {100, 199}), {20, 240});
        });
        break;
    case Edit::Nothing:
        break;
    }
}

} // namespace

class TestTakeDiff : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<int>("edit");
        QTest::newRow("frames of a take") << int(Edit::Frames);
        QTest::newRow("grown") << int(Edit::Grow);
        QTest::newRow("cut") << int(Edit::Cut);
        QTest::newRow("cut where nothing was recorded") << int(Edit::CutZeros);
        QTest::newRow("length apart from maxframe") << int(Edit::LengthApart);
        QTest::newRow("a longer show opened") << int(Edit::Opened);
        QTest::newRow("scaled") << int(Edit::Scaled);
        QTest::newRow("shifted past the end") << int(Edit::Shifted);
        QTest::newRow("pasted past the end") << int(Edit::Pasted);
        QTest::newRow("nothing") << int(Edit::Nothing);
    }
    void roundTrip()
    {
        QFETCH(int, edit);
        mk::NoJoystick joystick;
        ServoTrack t(joystick);
        t.setMaxframe(599);
        for (qint32 f = 0; f < 600; ++f) {
            t.setDataStartPoint(f);
            t.setData(f % 3 == 0 || f >= 590 ? qint16(0) : qint16(100 + f % 50));
        }
        // The starting point may itself have its length apart from maxframe.
        if (edit == int(Edit::LengthApart))
            t.setDatalength(650);
        const State before = stateOf(t);
        change(t, Edit(edit));
        const State after = stateOf(t);

        takes::TrackChange c;
        const qint64 heapBefore = heapInUse();
        QCOMPARE(takes::diff(3, {before.data, before.maxframe}, after.data, after.maxframe, c),
                 edit != int(Edit::Nothing));
        const qint64 held = heapInUse() - heapBefore;
        QCOMPARE(c.track, 3);
        if (heapFiguresWork())
            QVERIFY2(c.bytes() >= qint64(sizeof(c)) + held, qPrintable(QString::number(held)));
        if (edit == int(Edit::Frames)) {
            // Only the frames that differ are kept: 60 + 1 + 1, in three runs.
            QCOMPARE(int(c.runs.size()), 3);
            QVERIFY(c.bytes() < 1000);
        }
        if (edit == int(Edit::Opened)) // the new frames once, not the zeros they replace
            QVERIFY(c.bytes() < 2 * 17401 + 1000);

        for (int round = 0; round < 2; ++round) {
            // The second time round a play has grown the track meanwhile.
            if (round == 1) {
                const qint32 grown = t.datalength() + 50;
                t.setDatalength(grown);
                t.setMaxframe(grown);
            }
            takes::restore(t, std::vector<qint16>(t.recording()), c, true);
            QVERIFY(stateOf(t) == before);
            takes::restore(t, std::vector<qint16>(t.recording()), c, false);
            QVERIFY(stateOf(t) == after);
        }
    }
};

QTEST_GUILESS_MAIN(TestTakeDiff)
#include "tst_takediff.moc"
