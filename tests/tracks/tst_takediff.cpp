// What a take changed, and putting a track back to either side of it: every
// frame, the length and maxframe come back exactly, whatever the change.
#include <QTest>
#include <functional>
#include <malloc.h>

#include "platform/Joystick.h"
#include "tracks/EightTracks.h"
#include "tracks/ServoTrack.h"
#include "tracks/TakeDiff.h"
#include "tracks/TrackEdits.h"

using mk::ServoTrack;
using mk::test::putAt;
namespace takes = mk::takes;

namespace {

// Rows the test body checks further, named once so a renamed row cannot skip its checks unnoticed.
constexpr const char* kFrames = "frames of a take";
constexpr const char* kLengthApart = "length apart from maxframe";
constexpr const char* kOpened = "a longer show opened";
constexpr const char* kNothing = "nothing";

using State = std::pair<std::vector<qint16>, qint32>; // every frame (the length with them), maxframe

State stateOf(const ServoTrack& t) { return {t.recording(), t.maxframe()}; }

using Change = std::function<void(ServoTrack&)>;

/// An edit made as the window makes it: on a copy, then written back
/// through the track's members, the track grown to the copy's length.
Change edited(std::function<void(std::vector<qint16>&)> edit)
{
    return [edit](ServoTrack& t) {
        std::vector<qint16> d = t.recording();
        edit(d);
        if (qint32(d.size()) - 1 > t.datalength())
            t.setMaxframe(qint32(d.size()) - 1);
        t.setDataStartPoint(0);
        for (qint16 v : d)
            t.setData(v);
    };
}

qint64 heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

/// Whether the allocator's figures follow what is allocated (not so under a sanitizer, which brings its own).
bool heapFiguresWork()
{
    const qint64 before = heapInUse();
    const QByteArray block(1 << 16, '\0'); // allocated in Qt: not optimized away
    return heapInUse() - before >= block.size();
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestTakeDiff : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each row one kind of change to a track holding 600 frames of a take.
    void roundTrip_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow(kFrames) << Change([](ServoTrack& t) { // two stretches and a single frame
            for (qint32 f = 100; f < 160; ++f)
                putAt(t, f, qint16(f % 200 + 20));
            putAt(t, 400, 33);
            putAt(t, 590, 250);
        });
        QTest::newRow("grown") << Change([](ServoTrack& t) { // a longer sound, then frames past the old end
            t.setMaxframe(900);
            putAt(t, 850, 77);
        });
        QTest::newRow("cut") << Change([](ServoTrack& t) { t.setMaxframe(300); }); // a shorter sound
        QTest::newRow("cut where nothing was recorded") << Change([](ServoTrack& t) { t.setMaxframe(595); });
        QTest::newRow(kLengthApart) << Change([](ServoTrack& t) { // as loading writes it
            t.setMaxframe(500);
            t.setDatalength(700);
            putAt(t, 650, 9);
        });
        QTest::newRow(kOpened) << Change([](ServoTrack& t) { // recorded throughout
            t.setMaxframe(18000);
            for (qint32 f = 600; f <= 18000; ++f)
                putAt(t, f, qint16(1 + f % 250));
        });
        QTest::newRow("scaled") << edited([](auto& d) { mk::edits::scale(d, {50, 400}, 1.5, {20, 240}); });
        QTest::newRow("shifted past the end") << edited([](auto& d) { mk::edits::shift(d, {0, 599}, 45); });
        QTest::newRow("pasted past the end") << edited([](auto& d) { // longer than what is left of the track
            mk::edits::paste(d, 560, mk::edits::copy(d, {100, 199}), {20, 240});
        });
        QTest::newRow(kNothing) << Change([](ServoTrack&) {});
    }
    void roundTrip()
    {
        QFETCH(Change, change);
        const QByteArray row = QTest::currentDataTag();
        mk::NoJoystick joystick;
        ServoTrack t(joystick);
        t.setMaxframe(599);
        for (qint32 f = 0; f < 600; ++f)
            putAt(t, f, f % 3 == 0 || f >= 590 ? qint16(0) : qint16(100 + f % 50));
        // The starting point may itself have its length apart from maxframe.
        if (row == kLengthApart)
            t.setDatalength(650);
        const State before = stateOf(t);
        change(t);
        const State after = stateOf(t);

        takes::TrackChange c;
        const qint64 heapBefore = heapInUse();
        QCOMPARE(takes::diff(3, {before.first, before.second}, after.first, after.second, c), row != kNothing);
        const qint64 held = heapInUse() - heapBefore;
        QCOMPARE(c.track, 3);
        if (heapFiguresWork())
            QVERIFY2(c.bytes() >= qint64(sizeof(c)) + held, qPrintable(QString::number(held)));
        if (row == kFrames) {
            // Only the frames that differ are kept: 60 + 1 + 1, in three runs.
            QCOMPARE(int(c.runs.size()), 3);
            QVERIFY(c.bytes() < 1000);
        }
        if (row == kOpened) // the new frames once, not the zeros they replace
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
