// What a take changed, and putting a track back to either side of it through
// the track's own members: every frame, the array's length and maxframe come
// back exactly, whether the take wrote frames, grew the track or cut it.
#include <QTest>

#include "platform/Joystick.h"
#include "tracks/ServoTrack.h"
#include "tracks/TakeDiff.h"

using mk::ServoTrack;
namespace takes = mk::takes;

namespace {

struct State {
    std::vector<qint16> data;
    qint32 maxframe;
};

State stateOf(const ServoTrack& t) { return {t.recording(), t.maxframe()}; }

void setState(ServoTrack& t, const State& s)
{
    t.setMaxframe(s.maxframe);
    t.setDatalength(qint32(s.data.size()) - 1);
    t.setDataStartPoint(0);
    for (qint16 v : s.data)
        t.setData(v);
}

enum class Edit { Frames, Grow, Cut, CutZeros, LengthApart, Nothing };

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
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("cuts");
        QTest::newRow("frames of a take") << int(Edit::Frames) << true << false;
        QTest::newRow("grown") << int(Edit::Grow) << true << false;
        QTest::newRow("cut") << int(Edit::Cut) << true << true;
        QTest::newRow("cut where nothing was recorded") << int(Edit::CutZeros) << true << false;
        QTest::newRow("length apart from maxframe") << int(Edit::LengthApart) << true << true;
        QTest::newRow("nothing") << int(Edit::Nothing) << false << false;
    }
    void roundTrip()
    {
        QFETCH(int, edit);
        QFETCH(bool, changed);
        QFETCH(bool, cuts);
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
        QCOMPARE(takes::diff(3, {before.data, before.maxframe}, after.data, after.maxframe, c), changed);
        QCOMPARE(c.track, 3);
        QCOMPARE(c.cutsRecording(), cuts);
        if (edit == int(Edit::Frames)) {
            // Only the frames that differ are kept: 60 + 1 + 1, in three runs.
            QCOMPARE(int(c.runs.size()), 3);
            QVERIFY(c.bytes() < 1000);
        }

        for (int round = 0; round < 2; ++round) {
            takes::restore(t, std::vector<qint16>(t.recording()), c, true);
            QVERIFY(t.recording() == before.data);
            QCOMPARE(t.maxframe(), before.maxframe);
            takes::restore(t, std::vector<qint16>(t.recording()), c, false);
            QVERIFY(t.recording() == after.data);
            QCOMPARE(t.maxframe(), after.maxframe);
        }
    }

    // A length changed since by something the history did not record (an
    // import that cut nothing) stays; the frames of the take are still put back.
    void lengthChangedSinceStays()
    {
        mk::NoJoystick joystick;
        ServoTrack t(joystick);
        t.setMaxframe(300);
        const State before = stateOf(t);
        t.setDataStartPoint(10);
        t.setData(140);
        takes::TrackChange c;
        QVERIFY(takes::diff(0, {before.data, before.maxframe}, t.recording(), t.maxframe(), c));
        t.setMaxframe(900);
        takes::restore(t, std::vector<qint16>(t.recording()), c, true);
        QCOMPARE(t.maxframe(), 900);
        QCOMPARE(t.datalength(), 900);
        QCOMPARE(t.at(10), qint16(0));
        setState(t, before);
        QVERIFY(t.recording() == before.data);
    }
};

QTEST_GUILESS_MAIN(TestTakeDiff)
#include "tst_takediff.moc"
