#include "timing/SMTPtimer.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <limits>

#include "engine/ShowEngine.h"
#include "platform/Rounding.h"
#include "timing/TimeCode.h"

SMTPtimer::SMTPtimer(mk::TickSource& ticks, QWidget* parent)
    : QWidget(parent), m_ticks(ticks)
{
    m_SMPTEdisplay = new QLabel(QStringLiteral("00:00:00:00"), this);
    m_SMPTEdisplay->setObjectName(QStringLiteral("SMPTEdisplay"));
    m_SMPTEdisplay->setAlignment(Qt::AlignCenter);
    QFont f = m_SMPTEdisplay->font();
    f.setStyleHint(QFont::Monospace);
    f.setFamily(QStringLiteral("monospace"));
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * 1.6);
    m_SMPTEdisplay->setFont(f);

    // Holds the frame the clock was last set to; never shown.
    m_framesDisplay = new QLabel(QStringLiteral("0"), this);
    m_framesDisplay->setObjectName(QStringLiteral("framesDisplay"));
    m_framesDisplay->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_SMPTEdisplay);
    layout->addWidget(m_framesDisplay);

    // Rather than polling every millisecond, the timer is armed once per
    // frame for the millisecond at which the frame moves on; what the clock
    // reports is the same, at a fraction of the wake-ups.
    m_updateIt = new QTimer(this);
    m_updateIt->setObjectName(QStringLiteral("updateIt"));
    m_updateIt->setSingleShot(true);
    m_updateIt->setTimerType(Qt::PreciseTimer);
    connect(m_updateIt, &QTimer::timeout, this, &SMTPtimer::onUpdateIt);

    m_startTick = m_ticks.now();
}

bool SMTPtimer::isItRunning() const
{
    return m_running;
}

qint32 SMTPtimer::frameNumber() const
{
    return m_frameNumber;
}

void SMTPtimer::setFrameNumber(qint32 v)
{
    m_frameNumber = v;
    refreshDisplays();
}

qint32 SMTPtimer::milliseconds() const
{
    return mk::checkedNarrow<qint32>(mk::msFromFrames(m_baseFrame));
}

void SMTPtimer::setMilliseconds(qint32 v)
{
    stopTimer();
    m_frameNumber = mk::framesFromMs(v);
    refreshDisplays();
    // While the cursor is dragged these writes come faster than paint events
    // are handled; painting every third one at once keeps the time code moving.
    if (m_repaintCounter != 2) {
        ++m_repaintCounter;
    } else {
        m_SMPTEdisplay->repaint();
        m_repaintCounter = 0;
    }
}

QString SMTPtimer::SMPTEframeNumber() const
{
    return m_SMPTEdisplay->text();
}

void SMTPtimer::setSMPTEframeNumber(const QString& text)
{
    const std::optional<qint32> frames = mk::parseTimeCode(text);
    if (!frames)
        return;
    stopTimer();
    m_frameNumber = *frames;
    refreshDisplays();
}

void SMTPtimer::attachEngine(mk::engine::ShowEngine* engine)
{
    m_engine = engine;
    m_shownSent = engine->framesSent();
    if (!m_display) {
        // Twice a frame: a frame is shown at most a half frame after it was
        // sent, and a frame not sent (the show fell behind) is never shown.
        m_display = new QTimer(this);
        m_display->setObjectName(QStringLiteral("display"));
        m_display->setInterval(16);
        connect(m_display, &QTimer::timeout, this, &SMTPtimer::poll);
    }
}

void SMTPtimer::startTimer()
{
    m_startTick = m_ticks.now() - mk::msFromFrames(m_baseFrame);
    m_running = true;
    if (m_engine) {
        m_engine->start(m_baseFrame);
        // The engine takes the start at once: the show is anchored to the
        // moment it was started, whatever the clock did meanwhile.
        m_engine->sync();
        m_display->start();
        return;
    }
    scheduleNextTick();
}

void SMTPtimer::startTimerAndSend()
{
    if (!m_engine) {
        startTimer();
        return;
    }
    m_startTick = m_ticks.now() - mk::msFromFrames(m_baseFrame);
    m_running = true;
    m_engine->startShow(m_baseFrame, std::numeric_limits<qint32>::max());
    m_engine->sync();
    m_display->start();
}

void SMTPtimer::stopTimer()
{
    m_updateIt->stop();
    if (m_engine && m_running) {
        m_engine->stopAndWait();
        m_running = false;
        m_display->stop();
        // The frames sent since the last look are shown now.
        poll();
        Q_EMIT stopped();
        return;
    }
    m_running = false;
}

void SMTPtimer::poll()
{
    if (m_running && !m_engine->running()) {
        // The engine stopped by itself (the last frame number there is).
        m_running = false;
        m_display->stop();
        poll();
        Q_EMIT stopped();
        return;
    }
    Q_EMIT published();
    const quint64 sent = m_engine->framesSent();
    const qint32 frame = m_engine->frame();
    if (sent == m_shownSent && frame == m_lastReportedFrame)
        return;
    m_shownSent = sent;
    m_frameNumber = frame;
    m_lastReportedFrame = frame;
    m_SMPTEdisplay->setText(mk::timeCodeText(m_frameNumber));
    Q_EMIT frameChange();
}

void SMTPtimer::tick()
{
    if (!m_running)
        return;
    if (m_engine) {
        m_engine->sync();
        poll();
        return;
    }
    m_elapsed = m_ticks.now() - m_startTick;
    const double frame = mk::roundedFrames(static_cast<double>(m_elapsed));
    if (!(frame >= std::numeric_limits<qint32>::min() && frame <= std::numeric_limits<qint32>::max())) {
        // Frame numbers are 32-bit: a clock set near the top of the range
        // stops at its last frame instead of wrapping.
        stopTimer();
        return;
    }
    m_frameNumber = static_cast<qint32>(frame);
    if (m_frameNumber == m_lastReportedFrame) {
        scheduleNextTick();
        return;
    }
    m_lastReportedFrame = m_frameNumber;
    m_SMPTEdisplay->setText(mk::timeCodeText(m_frameNumber));

    emit frameChange();
    // The handler may have stopped the clock; a stopped clock stays unarmed.
    if (m_running)
        scheduleNextTick();
}

void SMTPtimer::onUpdateIt()
{
    // A timer counts whole milliseconds from the moment it is armed, which may
    // be most of a millisecond after the tick count last moved on. So it is
    // armed up to a millisecond early and the rest is slept here: the frame
    // goes out as soon as the count shows it, not a millisecond later.
    if (m_running) {
        if (const auto left = m_ticks.realTimeUntil(m_dueTick)) {
            if (*left > std::chrono::milliseconds(2)) {
                scheduleNextTick();
                return;
            }
            if (*left > std::chrono::nanoseconds::zero())
                m_ticks.waitUntil(m_dueTick);
        }
    }
    tick();
}

void SMTPtimer::refreshDisplays()
{
    m_baseFrame = m_frameNumber;
    m_framesDisplay->setText(QString::number(m_baseFrame));
    m_SMPTEdisplay->setText(mk::timeCodeText(m_frameNumber));
}

void SMTPtimer::scheduleNextTick()
{
    const qint64 elapsed = m_ticks.now() - m_startTick;
    qint64 due = elapsed;
    // A frame other than the one last reported (after a start from another
    // position) is due at once; otherwise wake when the frame moves on.
    if (mk::roundedFrames(static_cast<double>(elapsed)) == m_lastReportedFrame)
        due = mk::nextFrameBoundary(elapsed);
    m_dueTick = m_startTick + due;
    qint64 wait = due - elapsed;
    if (const auto left = m_ticks.realTimeUntil(m_dueTick))
        wait = std::chrono::duration_cast<std::chrono::milliseconds>(*left).count(); // rounded down: early
    m_updateIt->start(static_cast<int>(std::clamp<qint64>(wait, 0, std::numeric_limits<int>::max())));
}
