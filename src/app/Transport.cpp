// The transport and the frame loop of the main window: Play, Stop, Rewind,
// the handler that moves every servo on each frame, and the one that makes
// the figure follow the waveform cursor.
//
//   frame clock tick -> onFrameChange -> every track's frame update
//                    -> 24-byte frame message -> serial port (one write)
#include <QByteArray>
#include <algorithm>
#include <new>

#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "link/MSComm.h"
#include "link/PositionCommand.h"
#include "platform/Rounding.h"
#include "platform/RuntimeError.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"

namespace {
constexpr int kPlayWaitMs = 200;
}

void mainForm::playClicked()
{
    try {
        m_clock->stopTimer();
        m_graph->stopPlaying();
        m_countdown->stopTimer();
        // Give the controller and the audio device a moment between takes;
        // an audio device closed while stopped opens within it.
        // Nothing else runs meanwhile: no frame, scrub or countdown event.
        auto& ticks = m_services.ticks;
        const qint64 waitEnd = ticks.now() + kPlayWaitMs;
        m_graph->preparePlay();
        ticks.waitUntil(waitEnd);
        // A cursor before the sound's start plays from 0, clock and sound alike.
        m_clock->setMilliseconds(std::max(m_graph->cCurrentTimeInMilliseconds(), 0));
        // The clock starts before the sound.
        m_clock->startTimer();
        m_graph->playFromCursor();
        m_takes->beginPass();
        // The frame played from goes out now, before the first tick: the clock
        // reports only frames that differ from the one it last reported, so
        // a play from 0 would otherwise never send the show's first pose.
        onFrameChange();
        m_clock->markReported();
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while trying to Play."), QStringLiteral("Play Error"),
                      std::current_exception());
    }
}

void mainForm::stopClicked()
{
    m_clock->stopTimer();
    m_graph->stopPlaying();
    m_countdown->stopTimer();
    m_takes->endPass();
}

void mainForm::rewindClicked()
{
    m_clock->stopTimer();
    m_clock->setFrameNumber(0);
    m_graph->stopPlaying();
    m_graph->setcCurrentTime(m_graph->cSoundStart());
    m_countdown->stopTimer();
    // The figure takes the first pose, as it would for the cursor moved there
    // (reported like any frame's failure).
    onFrameChange();
    m_takes->endPass();
}

void mainForm::spacePressed()
{
    if (m_clock->isItRunning() || m_countdown->isItRunning())
        stopClicked();
    else
        playClicked();
}

void mainForm::sendFrame(qint32 frame)
{
    for (int i = 0; i <= lastServoIndex; ++i)
        slider(i)->setCurrentFrame(frame);
    QByteArray message;
    message.reserve(3 * (lastServoIndex + 1));
    for (int i = 0; i <= lastServoIndex; ++i)
        mk::appendPositionCommand(message, i, mk::positionByte(slider(i)->serialPortString()));
    if (m_comm->PortOpen())
        m_comm->setOutput(message);
}

void mainForm::onFrameChange()
{
    try {
        sendFrame(m_clock->frameNumber());
    } catch (...) {
        reportFailure(QStringLiteral("There was an error with SMPTE frame change."), QStringLiteral("SMPTE Error"),
                      std::current_exception());
    }
}

void mainForm::onScrub()
{
    try {
        m_countdown->stopTimer();
        if (soundLoaded) {
            const qint32 ms = m_graph->cCurrentTimeInMilliseconds();
            m_clock->setMilliseconds(ms < 0 ? 0 : ms);
        } else {
            // Without a sound the cursor's span stands for the tracks' length.
            const double f = m_graph->cCurrentTimeInMilliseconds() / 1000.0 * slider(1)->maxframe();
            m_clock->setFrameNumber(mk::roundTo<qint32>(f));
        }
        sendFrame(m_clock->frameNumber());
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while scrubbing."), QStringLiteral("Scrub Error"),
                      std::current_exception());
    }
}

void mainForm::onSoundHasStopped()
{
    m_clock->stopTimer();
    m_countdown->startTimer();
    m_takes->endPass();
}

void mainForm::onCountdownFinished()
{
    m_graph->setcCurrentTime(m_graph->cSoundStart());
    // Here the sound starts before the clock, without the wait of Play.
    m_graph->playFromCursor();
    m_clock->setFrameNumber(0);
    m_clock->startTimer();
    m_takes->beginPass();
}

void mainForm::reportFailure(const QString& sentence, const QString& title, std::exception_ptr error)
{
    int number = 0;
    QString description;
    try {
        std::rethrow_exception(error);
    } catch (const mk::RuntimeError& e) {
        number = e.number();
        description = QString::fromStdString(e.description());
    } catch (const std::bad_alloc&) {
        const auto e = mk::RuntimeError::outOfMemory();
        number = e.number();
        description = QString::fromStdString(e.description());
    } catch (const std::exception& e) {
        number = mk::RuntimeError::internalError().number();
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        const auto e = mk::RuntimeError::internalError();
        number = e.number();
        description = QString::fromStdString(e.description());
    }
    // The clock keeps running behind a modal message; a fault that repeats on
    // every frame must not pile up thirty boxes a second.
    if (m_reporting)
        return;
    m_reporting = true;
    m_services.dialogs.message(mk::failureText(sentence, number, description), title, mk::MessageButtons::Ok,
                               mk::MessageIcon::Exclamation);
    m_reporting = false;
}
