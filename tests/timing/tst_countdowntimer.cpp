// The loop countdown driven by a hand-moved millisecond clock.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "platform/TickSource.h"
#include "timing/countdownTimer.h"

namespace {

constexpr qint64 kT0 = 1'000'000;

struct Countdown {
    mk::ManualTickSource ticks{kT0};
    countdownTimer timer{ticks};
    QLabel* display = timer.findChild<QLabel*>(QStringLiteral("timeDisplay"));
    QCheckBox* box = timer.findChild<QCheckBox*>(QStringLiteral("Check1"));
    QLineEdit* text = timer.findChild<QLineEdit*>(QStringLiteral("Text1"));
    QLabel* unit = timer.findChild<QLabel*>(QStringLiteral("unitLabel"));
    QTimer* timer1 = timer.findChild<QTimer*>(QStringLiteral("Timer1"));
    // What the display showed each time the countdown ran out.
    QStringList finished;

    Countdown()
    {
        QObject::connect(&timer, &countdownTimer::countdownFinished, [this] { finished << display->text(); });
    }
    void tickAt(qint64 ms) { ticks.set(kT0 + ms); timer.tick(); }
};

} // namespace

class CountdownTimerTest : public QObject {
    Q_OBJECT
private slots:
    void typing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("display");
        QTest::newRow("over a day") << "100000" << "86400" << "seconds" << "24:00:00:00";
        QTest::newRow("a day") << "86400" << "86400" << "seconds" << "24:00:00:00";
        QTest::newRow("1") << "1" << "1" << "second" << "00:00:01:00";
        QTest::newRow("0") << "0" << "0" << "seconds" << "00:00:00:00";
        QTest::newRow("fraction") << "2.5" << "2.5" << "seconds" << "00:00:02:15";
        QTest::newRow("negative") << "-3" << "-3" << "seconds" << "00:00:00:00";
        QTest::newRow("huge") << "1e300" << "86400" << "seconds" << "24:00:00:00";
        QTest::newRow("not a number keeps the display") << "abc" << "abc" << "second" << "00:00:01:00";
    }

    void typing()
    {
        QFETCH(QString, typed);
        Countdown c;
        c.text->setText(QStringLiteral("1"));
        c.text->selectAll();
        QTest::keyClicks(c.text, typed);
        QTEST(c.text->text(), "text");
        QTEST(c.unit->text(), "unit");
        QTEST(c.display->text(), "display");
    }

    void runsOutMoreThan5msAfterTheEnd()
    {
        Countdown c;
        c.timer.setEnabled(true);
        c.timer.startTimer();
        QVERIFY(c.timer.isItRunning() && c.timer1->isActive());
        c.tickAt(5);
        QCOMPARE(c.display->text(), QStringLiteral("00:00:10:00"));
        c.tickAt(4000);
        QCOMPARE(c.display->text(), QStringLiteral("00:00:06:00"));
        for (qint64 at : {9990, 10000, 10005})
            c.tickAt(at);
        QCOMPARE(c.display->text(), QStringLiteral("00:00:00:00"));
        QVERIFY(c.finished.isEmpty());

        c.tickAt(10006);
        // The handler saw the count at its end; the whole pause shows after it.
        QCOMPARE(c.finished, QStringList{QStringLiteral("00:00:00:00")});
        QVERIFY(!c.timer.isItRunning() && !c.timer1->isActive());
        QCOMPARE(c.display->text(), QStringLiteral("00:00:10:00"));
        c.tickAt(20000);
        QCOMPARE(c.finished.size(), 1);

        c.timer.startTimer();
        c.tickAt(24000);
        c.timer.stopTimer();
        QVERIFY(!c.timer.isItRunning() && !c.timer1->isActive());
        QCOMPARE(c.display->text(), QStringLiteral("00:00:10:00"));
    }

    void boxCleared()
    {
        Countdown c;
        c.timer.setEnabled(true);
        c.timer.setEnabled(false);
        c.timer.startTimer();
        QVERIFY(!c.timer.isItRunning() && !c.timer1->isActive());

        // Clearing the box while counting still lets the count run out once.
        c.timer.setEnabled(true);
        c.timer.startTimer();
        c.timer.setEnabled(false);
        c.tickAt(10006);
        QCOMPARE(c.finished.size(), 1);
    }

    void editingWhileCountingMovesTheEnd()
    {
        Countdown c;
        c.timer.setEnabled(true);
        c.timer.startTimer();
        c.ticks.set(kT0 + 8000);
        c.timer.setDuration(10); // the same text: the count still starts again
        c.tickAt(16000);
        QVERIFY(c.finished.isEmpty());
        QCOMPARE(c.display->text(), QStringLiteral("00:00:02:00"));
        c.timer.setDuration(1);
        QCOMPARE(c.unit->text(), QStringLiteral("second"));
        c.tickAt(17006);
        QCOMPARE(c.finished.size(), 1);
    }

    void notANumberAndFractions()
    {
        Countdown c;
        c.timer.setEnabled(true);
        c.text->setText(QStringLiteral("soon"));
        c.timer.startTimer();
        QVERIFY(!c.timer.isItRunning());
        c.timer.stopTimer();
        QCOMPARE(c.display->text(), QStringLiteral("00:00:00:00"));

        // The end time counts the exact fractional pause.
        c.text->setText(QStringLiteral("0.5"));
        c.timer.startTimer();
        c.tickAt(505);
        QVERIFY(c.finished.isEmpty());
        c.tickAt(506);
        QCOMPARE(c.finished.size(), 1);
    }

    void duration_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint16>("seconds");
        QTest::newRow("spaces") << " 7 " << qint16(7);
        QTest::newRow("half to even") << "2.5" << qint16(2);
        QTest::newRow("16-bit top") << "32767" << qint16(32767);
        QTest::newRow("above 16 bits") << "40000" << qint16(32767);
        QTest::newRow("negative") << "-4" << qint16(-4);
        QTest::newRow("not a number") << "x" << qint16(0);
    }

    void duration()
    {
        QFETCH(QString, text);
        Countdown c;
        c.text->setText(text);
        QTEST(c.timer.duration(), "seconds");
    }

    void clickingTheBoxIsReported()
    {
        Countdown c;
        int clicks = 0;
        connect(&c.timer, &countdownTimer::enabledClicked, this, [&] { ++clicks; });
        c.timer.setEnabled(true);
        QCOMPARE(clicks, 0);
        c.timer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.timer));
        QTest::mouseClick(c.box, Qt::LeftButton);
        QCOMPARE(clicks, 1);
        QVERIFY(!c.timer.enabled());
        QVERIFY(c.timer.QWidget::isEnabled());
    }
};

QTEST_MAIN(CountdownTimerTest)
#include "tst_countdowntimer.moc"
