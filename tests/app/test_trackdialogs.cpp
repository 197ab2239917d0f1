// The track dialogs in the main window: a track's gear opens "Setup" for that
// servo and its end positions go out on the port at once; Ports > Calibrate
// Joystick shows the calibration dialog loaded hidden at start-up.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"
#include "tracks/NewSlider.h"
#include "tracks/SetupServo.h"
#include "tracks/calibrateJoystick.h"

using mk::test::PseudoTerminal;

class TestTrackDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gearOpensSetupAndPreviews()
    {
        PseudoTerminal pty;
        mk::test::WindowRig rig;
        rig.open({pty.slavePath()});
        mainForm& w = *rig.w;
        w.show();
        w.ports().selectPort(1);
        QVERIFY(w.MSComm()->PortOpen());

        auto* gear = w.slider(3)->findChild<QToolButton*>(QStringLiteral("setup"));
        QTest::mouseClick(gear, Qt::LeftButton);
        QPointer<SetupServo> dialog = w.setupServo();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Setup"));
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("Label3"))->text(), QStringLiteral("Servo Number 3"));
        // Filling previews the track's ends, maximum first.
        QCOMPARE(pty.read(6), QByteArray("\xFF\x03\x81\xFF\x03\x7F", 6));

        dialog->maxVal()->setFocus();
        QTest::keyClick(dialog->maxVal(), Qt::Key_PageUp);
        QCOMPARE(pty.read(3), QByteArray("\xFF\x03\x95", 3));
        QCOMPARE(int(w.slider(3)->maxValue()), 149);

        // Another gear re-uses the one dialog.
        QTest::mouseClick(w.slider(5)->findChild<QToolButton*>(QStringLiteral("setup")), Qt::LeftButton);
        QCOMPARE(w.setupServo(), dialog.data());
        QCOMPARE(dialog->whichservo(), 5);

        // Closing unloads it; the next gear makes a fresh one.
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
        QTest::mouseClick(gear, Qt::LeftButton);
        QVERIFY(w.setupServo()->isVisible());
        QCOMPARE(w.setupServo()->customName()->text(), QStringLiteral("Servo Name"));
        w.close();
    }

    void calibrationLoadedHiddenShownByTheMenu()
    {
        mk::test::WindowRig rig;
        rig.open({QString()});
        mainForm& w = *rig.w;
        w.show();
        calibrateJoystick* c = w.calibrationDialog();
        QVERIFY(c);
        QCOMPARE(c->numberOfSliders(), 7);
        QVERIFY(!c->isVisible());
        QVERIFY(!c->polling());

        rig.joystick.reading.x = 4321;
        w.menuItem(QStringLiteral("calibrateJoy"))->trigger();
        QVERIFY(c->isVisible());
        QCOMPARE(c->windowTitle(), QStringLiteral("Calibrate Joystick"));
        QTRY_COMPARE(c->calibration().gauge(0).value, 4321);
        QTest::mouseClick(c->findChild<QPushButton*>(QStringLiteral("setMin0")), Qt::LeftButton);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(int(w.slider(i)->track().calibrationLow(0)), 4321);
        // Closing the main window takes the dialog along.
        w.close();
        QVERIFY(!c->isVisible());
    }
};

QTEST_MAIN(TestTrackDialogs)
#include "test_trackdialogs.moc"
