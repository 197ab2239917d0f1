#pragma once
// The loop countdown: after the sound has ended it waits the set number of
// seconds and then raises countdownFinished, so the show starts again.
#include <QWidget>

#include "platform/TickSource.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;

class countdownTimer : public QWidget {
    Q_OBJECT
public:
    explicit countdownTimer(mk::TickSource& ticks, QWidget* parent = nullptr);

    /// Starts counting, only when the repeat box is ticked and the pause is a
    /// number.
    void startTimer();
    void stopTimer();

    /// The pause in whole seconds: the text rounded half to even and limited
    /// to the 16-bit range; 0 when the text is not a number.
    qint16 duration() const;
    void setDuration(qint16 seconds);

    /// The repeat switch (the check box). Note: setEnabled hides
    /// QWidget::setEnabled on purpose; use QWidget::setEnabled explicitly to
    /// grey out the control itself.
    bool enabled() const;
    void setEnabled(bool on);

    bool isItRunning() const;

    /// One tick of the countdown's 5 ms timer. Does nothing while idle.
    void tick();

Q_SIGNALS:
    void countdownFinished();
    void enabledClicked();

private:
    void Text1Changed(const QString& text);
    void resetDisplay();

    mk::TickSource& m_ticks;
    QLabel* m_timeDisplay = nullptr;
    QCheckBox* m_Check1 = nullptr;
    QLineEdit* m_Text1 = nullptr;
    QLabel* m_unitLabel = nullptr;
    QTimer* m_Timer1 = nullptr;

    qint64 m_endTick = 0;
    bool m_running = false;
};
