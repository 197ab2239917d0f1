#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include "link/MSComm.h"
#include "link/PositionCommand.h"
#include "link/SerialPorts.h"
#include "platform/Dialogs.h"
#include "support/PseudoTerminal.h"
#include "support/RuntimeErrors.h"

#include <algorithm>
#include <numeric>
#include <cerrno>

using mk::test::errorNumber;
using mk::test::errorOf;
using mk::test::PseudoTerminal;

namespace {

/// Servos 0 to 7 centred: FF, servo, position for each.
const QByteArray kCentred = QByteArray::fromHex("FF0080FF0180FF0280FF0380FF0480FF0580FF0680FF0780");

const QString kMissing = QStringLiteral("/dev/marionettekit-no-such-port");

/// Message `i` is the last told, about a port that failed: it names the port and its device (the wording is checked
/// where no port is free).
bool toldLast(const mk::ScriptedDialogs& dialogs, int i, const QString& port, const QString& path)
{
    if (dialogs.messages.size() != i + 1)
        return false;
    const auto& m = dialogs.messages.at(i);
    return m.text.contains(port) && m.text.contains(path) && m.title == "Serial Port Error"
        && m.icon == mk::MessageIcon::Exclamation && m.buttons == mk::MessageButtons::Ok;
}

/// The port menu's items 1 to 4: "-" greyed out, "*" ticked.
QString menu(const mk::SerialPorts& ports)
{
    QStringList items;
    for (int n = 1; n <= 4; ++n)
        items << QString::number(n) + (ports.itemEnabled(n) ? "" : "-") + (ports.itemChecked(n) ? "*" : "");
    return items.join(' ');
}

} // namespace

class tst_link_serial : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // Keep the machine's own serial devices out of the tests.
        qputenv("MARIONETTEKIT_PORTS", ",,,");
    }

    void deviceOrder_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("adapters first") << QStringList{"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyUSB0"}
                                        << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS0"};
        QTest::newRow("numbers by value") << QStringList{"ttyS10", "ttyS2", "ttyS1", "ttyUSB10", "ttyUSB9"}
                                          << QStringList{"ttyUSB9", "ttyUSB10", "ttyS1", "ttyS2", "ttyS10"};
        QTest::newRow("rest by name") << QStringList{"/dev/ttyS1", "/dev/ttyAMA0", "/dev/ttyACM3"}
                                      << QStringList{"/dev/ttyACM3", "/dev/ttyAMA0", "/dev/ttyS1"};
    }
    void deviceOrder()
    {
        QFETCH(QStringList, names);
        QTEST(mk::orderSerialDevices(names), "expected");
    }

    void portList_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("gaps") << "/dev/a,,/dev/b" << QStringList{"/dev/a", "", "/dev/b", ""};
        QTest::newRow("more than four") << "1,2,3,4,5" << QStringList{"1", "2", "3", "4"};
        QTest::newRow("blanks") << " /dev/a , " << QStringList{"/dev/a", "", "", ""};
        QTest::newRow("nothing") << "" << QStringList{"", "", "", ""};
    }
    void portList()
    {
        QFETCH(QString, value);
        qputenv("MARIONETTEKIT_PORTS", value.toLocal8Bit());
        MSComm c;
        QTEST((QStringList{c.devicePath(1), c.devicePath(2), c.devicePath(3), c.devicePath(4)}), "expected");
        qputenv("MARIONETTEKIT_PORTS", ",,,");
    }

    // Probing finds the free ports without holding them; choosing one opens it and lets go of the last one,
    // choosing it again reopens it, and every byte value passes unchanged. An adapter unplugged while in use closes
    // the port, told once, and output is then dropped without an error; one gone by the time it is chosen is told too.
    void probeSelectAndUnplug()
    {
        PseudoTerminal one;
        PseudoTerminal three;
        MSComm comm;
        comm.setDevicePaths({one.slavePath(), kMissing, three.slavePath(), kMissing + "2"});
        mk::ScriptedDialogs dialogs;
        mk::SerialPorts ports(comm, dialogs);
        QSignalSpy changed(&ports, &mk::SerialPorts::itemsChanged);

        ports.probe();
        QCOMPARE(menu(ports), "1 2- 3 4-");
        QVERIFY(!comm.PortOpen() && !one.slaveOpen() && !three.slaveOpen());
        QVERIFY(changed.count() >= 1);

        ports.selectPort(3);
        QCOMPARE(menu(ports), "1 2- 3* 4-");
        QVERIFY(three.slaveOpen());
        ports.selectPort(1);
        QCOMPARE(menu(ports), "1* 2- 3 4-");
        QCOMPARE(comm.CommPort(), qint16(1));
        QVERIFY(comm.PortOpen() && one.slaveOpen() && !three.slaveOpen());
        ports.selectPort(1);
        QVERIFY(ports.itemChecked(1) && comm.PortOpen());
        QByteArray all(256, '\0');
        std::iota(all.begin(), all.end(), char(0));
        comm.setOutput(kCentred);
        comm.setOutput(all);
        QCOMPARE(one.read(24 + 256), kCentred + all);

        QSignalSpy errors(comm.findChild<QSerialPort*>(), &QSerialPort::errorOccurred);
        QSignalSpy failed(&comm, &MSComm::portFailed);
        one.closeMaster();
        // The slave's read then returns 0 and leaves errno: a stale EAGAIN would be
        // a "resource" error on which the port stops reading by itself, not the read error.
        errno = 0;
        QVERIFY(QTest::qWaitFor([&] { return !comm.PortOpen(); }, 2000));
        QCOMPARE(menu(ports), "1 2- 3 4-"); // item 1 free again, not ticked
        QVERIFY(toldLast(dialogs, 0, "COM 1", one.slavePath()));
        // A port left open on a dead line reports errors as fast as the event loop turns; a closed one stays quiet.
        QCOMPARE(errors.first().at(0).value<QSerialPort::SerialPortError>(), QSerialPort::ReadError);
        for (int i = 0; i < 2000; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(std::count_if(errors.cbegin(), errors.cend(), [](const QList<QVariant>& args) {
            return args.at(0).value<QSerialPort::SerialPortError>() != QSerialPort::NoError;
        }), 1);
        QCOMPARE(std::tuple(failed.count(), dialogs.messages.size()), std::tuple(1, 1));
        comm.setOutput(all);
        QVERIFY(!comm.PortOpen());

        three.closeMaster();
        ports.selectPort(3);
        QCOMPARE(menu(ports), "1 2- 3 4-");
        QVERIFY(!comm.PortOpen());
        QVERIFY(toldLast(dialogs, 1, "COM 3", three.slavePath()));
    }

    // Opening a port without a device, or with a missing one, is error 68 naming it; port numbers are 1 to 4 and
    // stay while the port is open. A probe that finds no free port says so once, with what it tried.
    void portErrorsAndNoFreePort()
    {
        PseudoTerminal taken;
        MSComm other; // another program holds this one
        other.setDevicePaths({taken.slavePath()});
        other.setCommPort(1);
        other.setPortOpen(true);
        QVERIFY(errorOf([&] { other.setCommPort(2); }).first != 0);
        QCOMPARE(std::tuple(other.CommPort(), other.PortOpen()), std::tuple(qint16(1), true));
        MSComm comm;
        comm.setDevicePaths({kMissing, QString(), kMissing + "3", taken.slavePath()});
        for (const auto& [port, named] : {std::pair{2, QStringLiteral("COM 2")}, {1, kMissing}}) {
            comm.setCommPort(qint16(port));
            const auto [number, text] = errorOf([&] { comm.setPortOpen(true); });
            QVERIFY2(number == 68 && text.contains(named), qPrintable(text));
        }
        QVERIFY(!comm.PortOpen());
        QVERIFY(errorOf([&] { comm.setCommPort(0); }).first != 0);
        QVERIFY(errorOf([&] { comm.setCommPort(5); }).first != 0);
        QCOMPARE(comm.CommPort(), qint16(1));
        mk::ScriptedDialogs dialogs;
        mk::SerialPorts ports(comm, dialogs);

        ports.probe();

        QCOMPARE(menu(ports), "1- 2- 3- 4-");
        const QString told = QStringLiteral(
            "It appears that you do not have any free serial\rports.  You can run MarionetteKit but you will\r"
            "not be able to use your animatronic with it.\r\rIt is recommended that you quit any programs that\r"
            "use a serial port and then restart MarionetteKit.\r\rTried:\r"
            "COM 1: Device unavailable: %1 (No such file or directory)\rCOM 2: no device\r"
            "COM 3: Device unavailable: %3 (No such file or directory)\r"
            "COM 4 (%2): busy (another program is using it)");
        QCOMPARE(dialogs.messages.size(), 1);
        const auto& m = dialogs.messages.first();
        QCOMPARE(std::tuple(m.text, m.title, m.buttons, m.icon),
                 std::tuple(told.arg(kMissing, taken.slavePath(), kMissing + "3"), QStringLiteral("Serial Port Error"),
                            mk::MessageButtons::Ok, mk::MessageIcon::None));
    }

    void stalledLineDropsWholeFrames()
    {
        // Nobody reads the master: the pty's buffer fills as a stalled line's
        // would. That is no failure of the port, and what is sent stays framed.
        PseudoTerminal pty;
        MSComm comm;
        comm.setDevicePaths({pty.slavePath(), QString(), QString(), QString()});
        comm.setCommPort(1);
        comm.setPortOpen(true);
        QSignalSpy failed(&comm, &MSComm::portFailed);
        auto* serial = comm.findChild<QSerialPort*>();
        for (int frame = 0; frame < 4000; ++frame) {
            comm.setOutput(kCentred);
            QCoreApplication::processEvents();
        }
        QVERIFY(comm.PortOpen() && failed.count() == 0 && serial->bytesToWrite() <= 512);

        QByteArray got;
        QVERIFY(QTest::qWaitFor([&] {
            const QByteArray more = pty.read(1 << 30, 0); // what has arrived by now
            got += more;
            return more.isEmpty() && serial->bytesToWrite() == 0;
        }, 5000));
        QVERIFY(got.size() < 24 * 4000);
        QCOMPARE(got, kCentred.repeated(got.size() / 24));
    }

    void positionByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // byte, or -error number
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("top") << "255" << 255;
        QTest::newRow("one past the top") << "256" << -5;
        QTest::newRow("negative") << "-1" << -5;
        QTest::newRow("empty, read twice") << "" << -13;
        QTest::newRow("number then letters") << "12a" << -13;
        QTest::newRow("padded") << " 60 " << 60;
        QTest::newRow("half rounds to even") << "127.5" << 128;
        QTest::newRow("other half rounds to even") << "128.5" << 128;
        QTest::newRow("rounds up past the top") << "255.5" << -5;
    }

    void positionByte()
    {
        QFETCH(QString, text);
        int byte = -1;
        const int error = errorNumber([&] { byte = mk::positionByte(text); });
        QTEST(error ? -error : byte, "expected");
    }

    // Each command is appended whole to what is already there, or nothing is appended and the error is 5.
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

QTEST_GUILESS_MAIN(tst_link_serial)
#include "tst_link_serial.moc"
