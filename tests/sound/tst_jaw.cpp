// A jaw from the sound: the level per frame heard through the voice band,
// and the positions made of it (range, closed side, attack, release, lead).
#include <QTemporaryDir>
#include <QTest>

#include "SndWrite.h"
#include "sound/JawAnalysis.h"

using Levels = QList<float>;
using Positions = QList<int>;

namespace {
constexpr float S = mk::jaw::kSilenceDb;

/// Tones of amplitude 0.5 over frames [from, to) (30 a second), silence elsewhere.
struct Tone {
    int from, to;
    double hz;
};
/// Levels through a shape, threshold -40 dB and top -10 dB throughout.
struct Jaw {
    Levels db;
    mk::jaw::Shape shape;
    int min, max;
    Positions expected;
};
} // namespace
Q_DECLARE_METATYPE(QList<Tone>)
Q_DECLARE_METATYPE(Jaw)

class tst_Jaw : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void positions_data()
    {
        QTest::addColumn<Jaw>("j");
        const Levels burst{S, S, 0, 0, 0, S, S, S};
        const mk::jaw::Shape instant{-40, -10, 0, 0, 0, false};
        QTest::newRow("instant") << Jaw{burst, instant, 10, 110, {10, 10, 110, 110, 110, 10, 10, 10}};
        QTest::newRow("attack 100 ms, release 67 ms")
            << Jaw{burst, {-40, -10, 100, 66.667, 0, false}, 10, 110, {10, 10, 43, 77, 110, 60, 10, 10}};
        QTest::newRow("closed at the maximum, half open at -25 dB")
            << Jaw{{S, -25, -10, -40, S}, {-40, -10, 0, 0, 0, true}, 10, 110, {110, 60, 10, 110, 110}};
        QTest::newRow("lead 100 ms is 3 frames") << Jaw{{S, S, S, S, 0, 0, S, S}, {-40, -10, 0, 0, 100, false}, 10,
                                                        110, {10, 110, 110, 10, 10, 10, 10, 10}};
        QTest::newRow("lead past 300 ms is 300 ms")
            << Jaw{{S, S, S, S, S, S, S, S, S, S, 0, S}, {-40, -10, 0, 0, 900, false}, 10, 110,
                   {10, 110, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10}};
        QTest::newRow("a range from 0 never writes 0") << Jaw{{S, 0}, instant, 0, 50, {1, 50}};
    }
    void positions()
    {
        QFETCH(Jaw, j);
        const auto got = mk::jaw::positions({j.db.begin(), j.db.end()}, j.shape, qint16(j.min), qint16(j.max));
        QCOMPARE(Positions(got.begin(), got.end()), j.expected);
    }

    // Through the defaults the jaw opens on the voice band only, at the bursts' frames less the 50 ms lead (2 frames).
    void fromSound_data()
    {
        QTest::addColumn<QList<Tone>>("tones");
        QTest::addColumn<QList<Tone>>("open"); // the frames that must open
        QTest::newRow("silence") << QList<Tone>{} << QList<Tone>{};
        QTest::newRow("bursts") << QList<Tone>{{30, 45, 1000}, {90, 100, 300}}
                                << QList<Tone>{{30, 45, 0}, {90, 100, 0}};
        QTest::newRow("hum and hiss at the voice's level")
            << QList<Tone>{{30, 60, 50}, {90, 120, 10000}, {150, 165, 800}} << QList<Tone>{{150, 165, 0}};
    }
    void fromSound()
    {
        QFETCH(QList<Tone>, tones);
        QFETCH(QList<Tone>, open);
        const QString path = m_dir.filePath(QStringLiteral("%1.wav").arg(QTest::currentDataTag()));
        QVERIFY(sndtest::write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 7.0, [&](double t) {
            for (const Tone& s : tones)
                if (t * 30 >= s.from && t * 30 < s.to)
                    return 0.5 * std::sin(2 * M_PI * s.hz * t);
            return 0.0;
        }));
        // 7 s at 48 kHz is 42 blocks of 8192 samples: a report every 32 blocks, and the end.
        QList<double> reports;
        const mk::jaw::Levels levels = mk::jaw::analyse(path, 210, {}, [&](double f) { reports << f; return true; });
        QCOMPARE(std::tuple(levels.error, reports.size(), reports.value(2)), std::tuple(QString(), qsizetype(3), 1.0));
        // A tone well inside the band keeps its level: a sine's RMS.
        for (const Tone& s : tones)
            if (s.hz >= 300 && s.hz <= 3000)
                QVERIFY(std::abs(levels.db[size_t(s.from + s.to) / 2] - 20 * std::log10(0.5 / std::sqrt(2.0))) < 0.5);
        const auto jaw = mk::jaw::positions(levels.db, {}, 20, 220);
        const int lead = mk::jaw::leadFrames(mk::jaw::Shape{}.leadMs);
        QCOMPARE(lead, 2);
        for (int f = 0; f < 210; ++f) {
            const int heard = f + lead;
            bool inside = false, near = false;
            for (const Tone& o : open) {
                inside = inside || (heard > o.from && heard < o.to - 1);
                // One frame either side, and the release (80 ms) after.
                near = near || (heard >= o.from - 1 && heard <= o.to + 3);
            }
            if (inside)
                QVERIFY2(jaw[size_t(f)] >= 200, qPrintable(QString::number(f)));
            else if (!near)
                QVERIFY2(jaw[size_t(f)] == 20, qPrintable(QStringLiteral("%1: %2").arg(f).arg(jaw[size_t(f)])));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Jaw)
#include "tst_jaw.moc"
