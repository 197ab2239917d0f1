#pragma once
// The loop countdown: after the sound has ended it waits the set number of
// seconds and then raises countdownFinished, so the show starts again.
#include <QWidget>

#include "platform/TickSource.h"

class countdownTimer : public QWidget {
    Q_OBJECT
public:
    explicit countdownTimer(mk::TickSource& ticks, QWidget* parent = nullptr);

    /// Starts counting, only when the repeat box is ticked.
    void startTimer();
    void stopTimer();

    qint16 duration() const;
    void setDuration(qint16 seconds);

    /// The repeat switch (the check box). Note: setEnabled hides
    /// QWidget::setEnabled on purpose; use QWidget::setEnabled explicitly to
    /// grey out the control itself.
    bool enabled() const;
    void setEnabled(bool on);

    bool isItRunning() const;

    /// One tick of the countdown's 5 ms timer.
    void tick();

Q_SIGNALS:
    void countdownFinished();
    void enabledClicked();
};
