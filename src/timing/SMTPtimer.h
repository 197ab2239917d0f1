#pragma once
// The frame clock: counts animation frames at 30 per second from the
// millisecond tick, shows SMPTE time code and raises frameChange whenever the
// frame moves on.
#include <QWidget>

#include "platform/TickSource.h"

class QLabel;
class QTimer;

namespace mk::engine {
class ShowEngine;
}

class SMTPtimer : public QWidget {
    Q_OBJECT
public:
    explicit SMTPtimer(mk::TickSource& ticks, QWidget* parent = nullptr);

    bool isItRunning() const;

    qint32 frameNumber() const;
    /// Does not stop a running clock; the next tick recomputes the frame.
    void setFrameNumber(qint32 v);

    /// The position the clock was last set to, in ms (not the running time).
    /// Throws RuntimeError 6 (Overflow) when that does not fit 32 bits.
    qint32 milliseconds() const;
    /// Stops the clock and moves it to the frame of v ms.
    void setMilliseconds(qint32 v);

    QString SMPTEframeNumber() const;
    /// Stops the clock and moves it to HH:MM:SS:FF. Text of another form is
    /// ignored: the clock neither stops nor moves.
    void setSMPTEframeNumber(const QString& text);

    void startTimer();
    /// Starts the clock and sends the frame it starts on at once, whatever
    /// was sent before (Play: the show's first pose goes out before a tick).
    void startTimerAndSend();
    /// Stops the clock; with an engine, returns once the engine has stopped.
    void stopTimer();

    /// From now on the show engine keeps the time and sends the frames:
    /// start and stop go to it, and the clock shows what it published (the
    /// frame, at most once per frame), raising published() on every look and
    /// frameChange when a frame was sent. `engine` outlives the clock.
    void attachEngine(mk::engine::ShowEngine* engine);

    /// One tick of the clock's timer: recompute the frame from the elapsed
    /// time and raise frameChange when it differs from the last one reported.
    /// Does nothing while the clock is stopped (its timer does not tick then).
    /// With an engine: the engine sends the frame due now, and the clock
    /// shows it (a clock moved by hand moves the engine only through this).
    void tick();

    /// The current frame counts as reported (its handler has been run by
    /// hand): frameChange is raised again once the frame moves on.
    void markReported() { m_lastReportedFrame = m_frameNumber; }

    /// The tick count at which frame 0 would have been, for checks.
    qint64 startTick() const { return m_startTick; }

Q_SIGNALS:
    void frameChange();
    /// The clock looked at what the engine published (events, frame updates).
    void published();
    /// The engine's clock stopped (stopTimer, or by itself).
    void stopped();

private:
    void refreshDisplays();
    void scheduleNextTick();
    void onUpdateIt();
    /// Shows what the engine published since the last look.
    void poll();

    mk::TickSource& m_ticks;
    QLabel* m_SMPTEdisplay = nullptr;
    QLabel* m_framesDisplay = nullptr;
    QTimer* m_updateIt = nullptr;

    bool m_running = false;
    qint64 m_startTick = 0;
    qint64 m_elapsed = 0;
    qint64 m_dueTick = 0; // tick count at which updateIt is meant to wake
    qint32 m_frameNumber = 0;
    qint32 m_baseFrame = 0;
    qint32 m_lastReportedFrame = 0;
    qint16 m_repaintCounter = 0;

    mk::engine::ShowEngine* m_engine = nullptr;
    QTimer* m_display = nullptr;
    quint64 m_shownSent = 0;
};
