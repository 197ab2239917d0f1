// Frame arithmetic and time-code text.
#include <QTest>

#include "timing/TimeCode.h"

class TimeCodeTest : public QObject {
    Q_OBJECT
private slots:
    void text_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << qint64(0) << "00:00:00:00";
        QTest::newRow("3725") << qint64(3725) << "00:02:04:05";
        QTest::newRow("one hour") << qint64(108000) << "01:00:00:00";
        QTest::newRow("hour less a frame") << qint64(107999) << "00:59:59:29";
        QTest::newRow("100 hours") << qint64(100) * 108000 + 1800 + 31 << "100:01:01:01";
        QTest::newRow("largest frame") << qint64(2147483647) << "19884:06:28:07";
        QTest::newRow("just before start") << qint64(-1) << "00:00:00:00";
        QTest::newRow("well before start") << qint64(-3725) << "00:00:00:00";
    }

    void text()
    {
        QFETCH(qint64, frames);
        QTEST(mk::timeCodeText(frames), "expected");
    }

    // Against what a clock polling every millisecond would see, walking back
    // from the end: the next change after e is e + 1 when the frame differs
    // there, else the next change after e + 1. The range holds the ties at 50
    // and 150 ms and the frames before 0.
    void nextFrameBoundaryAgreesWithPolling()
    {
        for (qint64 base : {qint64(-2000), qint64(71582788000 - 2000)}) {
            const qint64 end = base + 4000;
            qint64 next = mk::nextFrameBoundary(end);
            for (qint64 e = end - 1; e >= base; --e) {
                if (mk::roundedFrames(double(e + 1)) != mk::roundedFrames(double(e)))
                    next = e + 1;
                if (mk::nextFrameBoundary(e) != next)
                    QFAIL(qPrintable(QStringLiteral("at %1 expected %2").arg(e).arg(next)));
            }
        }
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("frames"); // -1: rejected
        QTest::newRow("plain") << "00:02:04:05" << 3725;
        QTest::newRow("100 hours, as shown") << "100:01:01:01" << 100 * 108000 + 1800 + 31;
        QTest::newRow("fields not checked against 60") << "00:99:00:00" << 99 * 1800;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("letters") << "ab:cd:ef:gh" << -1;
        QTest::newRow("three fields") << "00:01:02" << -1;
        QTest::newRow("short field") << "00:1:02:03" << -1;
        QTest::newRow("sign") << "-1:00:00:00" << -1;
        QTest::newRow("too many frames") << "19885:00:00:00" << -1;
    }

    void parse()
    {
        QFETCH(QString, text);
        QTEST(mk::parseTimeCode(text).value_or(-1), "frames");
    }
};

QTEST_GUILESS_MAIN(TimeCodeTest)
#include "tst_timecode.moc"
