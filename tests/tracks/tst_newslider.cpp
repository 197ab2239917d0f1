// The track control on screen: mouse holding, the name box's keys, and the slider, box and indicators following
// the track. What the track itself does with these is tst_servotrack's.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include <memory>

#include "platform/Joystick.h"
#include "tracks/EightTracks.h"
#include "tracks/NewSlider.h"

class tst_NewSlider : public QObject {
    Q_OBJECT
    mk::FixedJoystick m_joystick;
    std::unique_ptr<NewSlider> m_track; // after the joystick it reads
    QSlider* m_slider = nullptr;
    QLineEdit* m_name = nullptr;

private Q_SLOTS:
    void init()
    {
        m_track = std::make_unique<NewSlider>(m_joystick);
        m_track->resize(m_track->sizeHint());
        mk::test::startUp(*m_track, 100, 200);
        m_track->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_track.get()));
        m_slider = m_track->findChild<QSlider*>(QStringLiteral("slider"));
        m_name = m_track->findChild<QLineEdit*>(QStringLiteral("theServoName"));
        QVERIFY(m_slider && m_name);
    }

    // One control through mouse holding, the name box's keys, then changes of the track's domain.
    void journey()
    {
        const QPoint handle = m_slider->rect().center();
        QTest::mousePress(m_slider, Qt::LeftButton, {}, handle);
        QVERIFY(m_track->track().sliderHeld());
        QTest::mouseRelease(m_slider, Qt::LeftButton, {}, handle);
        QVERIFY(!m_track->track().sliderHeld());

        // A release the slider never saw (a modal message was up) ends the hold by the next frame.
        QTest::mousePress(m_slider, Qt::LeftButton, {}, handle);
        m_slider->removeEventFilter(m_track.get());
        QTest::mouseRelease(m_slider, Qt::LeftButton, {}, handle);
        m_slider->installEventFilter(m_track.get());
        QVERIFY(m_track->track().sliderHeld());
        m_track->setCurrentFrame(6);
        QVERIFY(!m_track->track().sliderHeld());
        m_track->setDataStartPoint(6);
        QCOMPARE(m_track->data(), qint16(0));

        // A click near the top of the groove jumps near the maximum, not a page.
        m_track->setPosition(100);
        QTest::mouseClick(m_slider, Qt::LeftButton, {}, QPoint(m_slider->width() / 2, 3));
        QVERIFY2(m_slider->value() > 180, qPrintable(QString::number(m_slider->value())));
        QCOMPARE(m_track->position(), m_slider->value());

        // Enter in the name box keeps the name and gives the slider the focus.
        m_track->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_track.get()));
        m_name->setFocus();
        m_name->selectAll();
        QTest::keyClicks(m_name, QStringLiteral("Jaw"));
        QTest::keyClick(m_name, Qt::Key_Return);
        QCOMPARE(m_name->text() + "|" + m_track->servoName(), "Jaw|" + QStringLiteral("Jaw").leftJustified(32));
        QCOMPARE(QApplication::focusWidget(), m_slider);

        // Enter leaves nothing pending that could undo the next edit, and a Space is a blank in the name.
        m_name->setFocus();
        m_name->end(false);
        QTest::keyClick(m_name, Qt::Key_Enter);
        m_name->setFocus();
        m_name->end(false);
        QTest::keyClick(m_name, Qt::Key_Space);
        QTest::keyClicks(m_name, QStringLiteral("1"));
        QCOMPARE(m_name->text() + "|" + m_track->servoName().trimmed(), QStringLiteral("Jaw 1|Jaw 1"));

        // A name from a project comes padded to 32 characters: the box shows its start, not the blanks at its end.
        m_track->setServoName(QStringLiteral("Jaw").leftJustified(32));
        QCOMPARE(m_name->cursorPosition(), 0);

        // Every change of the track's domain shows at once.
        QCOMPARE(QList<int>({m_slider->minimum(), m_slider->maximum()}), QList<int>({100, 200}));

        m_track->setMaxframe(3);
        mk::test::putAt(*m_track, 3, 190);
        m_track->setCurrentFrame(3);
        QCOMPARE(m_slider->value(), 190);

        m_track->setServoName(QStringLiteral("A name longer than thirty-two characters"));
        QCOMPARE(m_name->text(), QStringLiteral("A name longer than thirty-two characters"));

        m_track->setWhichJoystickChannel(1);
        m_track->setUsesJoystick(true);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_track->findChild<QLabel*>(QStringLiteral("JoyIndicator%1").arg(i))->isVisible(), i == 1);

        // The Active box and the track's playback follow each other. (The
        // slider's own edits reach the track in test_mainform's held slider.)
        auto* active = m_track->findChild<QCheckBox*>(QStringLiteral("Active"));
        QVERIFY(active->isChecked());
        active->click();
        QVERIFY(!m_track->playbackEnabled());
        m_track->setPlaybackEnabled(true);
        QVERIFY(active->isChecked());

        m_track->clearTheArray();
        QCOMPARE(std::tuple(m_slider->minimum(), m_slider->maximum(), m_slider->value()), std::tuple(128, 129, 128));
    }
};

QTEST_MAIN(tst_NewSlider)
#include "tst_newslider.moc"
