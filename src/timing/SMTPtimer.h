#pragma once
// The frame clock: counts animation frames at 30 per second from the
// millisecond tick, shows SMPTE time code and raises frameChange whenever the
// frame moves on.
#include <QWidget>

#include "platform/TickSource.h"

class QLabel;
class QTimer;

class SMTPtimer : public QWidget {
    Q_OBJECT
public:
    explicit SMTPtimer(mk::TickSource& ticks, QWidget* parent = nullptr);

    bool isItRunning() const;

    qint32 frameNumber() const;
    /// Does not stop a running clock; the next tick recomputes the frame.
    void setFrameNumber(qint32 v);

    /// The position the clock was last set to, in ms (not the running time).
    qint32 milliseconds() const;
    /// Stops the clock and moves it to the frame of v ms.
    void setMilliseconds(qint32 v);

    QString SMPTEframeNumber() const;
    /// Stops the clock and moves it to HH:MM:SS:FF.
    void setSMPTEframeNumber(const QString& text);

    void startTimer();
    void stopTimer();

    /// One tick of the clock's timer: recompute the frame from the elapsed
    /// time and raise frameChange when it differs from the last one reported.
    void tick();

Q_SIGNALS:
    void frameChange();
};
