#include <QTest>

#include "link/PositionCommand.h"
#include "support/RuntimeErrors.h"

using mk::test::errorNumber;

class tst_link_command : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void positionByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // byte, or -error number
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("centre") << "128" << 128;
        QTest::newRow("top") << "255" << 255;
        QTest::newRow("one past the top") << "256" << -5;
        QTest::newRow("negative") << "-1" << -5;
        QTest::newRow("huge") << "99999999999999999999" << -5;
        QTest::newRow("empty, read twice") << "" << -13;
        QTest::newRow("letters") << "abc" << -13;
        QTest::newRow("number then letters") << "12a" << -13;
        QTest::newRow("padded") << " 60 " << 60;
        QTest::newRow("half rounds to even") << "127.5" << 128;
        QTest::newRow("other half rounds to even") << "128.5" << 128;
        QTest::newRow("rounds up past the top") << "255.5" << -5;
    }

    void positionByte()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        if (expected >= 0)
            QCOMPARE(int(mk::positionByte(text)), expected);
        else
            QCOMPARE(errorNumber([&] { mk::positionByte(text); }), -expected);
    }

    // Each command is appended whole to what is already there, or nothing
    // is appended and the error is 5.
    void positionCommand_data()
    {
        QTest::addColumn<int>("servo");
        QTest::addColumn<int>("position");
        QTest::addColumn<QByteArray>("appended");
        QTest::newRow("servo 0 centred") << 0 << 128 << QByteArray::fromHex("FF0080");
        QTest::newRow("servo 7 at 0") << 7 << 0 << QByteArray::fromHex("FF0700");
        QTest::newRow("servo 255 at the top") << 255 << 255 << QByteArray::fromHex("FFFFFF");
        QTest::newRow("position 256") << 3 << 256 << QByteArray();
        QTest::newRow("position -1") << 3 << -1 << QByteArray();
        QTest::newRow("servo -1") << -1 << 128 << QByteArray();
        QTest::newRow("servo 256") << 256 << 128 << QByteArray();
    }
    void positionCommand()
    {
        QFETCH(int, servo);
        QFETCH(int, position);
        QFETCH(QByteArray, appended);
        QByteArray message("x");
        QCOMPARE(errorNumber([&] { mk::appendPositionCommand(message, servo, position); }), appended.isEmpty() ? 5 : 0);
        QCOMPARE(message, "x" + appended);
    }
};

QTEST_GUILESS_MAIN(tst_link_command)
#include "tst_link_command.moc"
