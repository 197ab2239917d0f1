// The transport and the frame loop of the main window: Play, Stop, Rewind,
// and the show engine that runs the frames.
//
//   Play -> the engine's clock (its own thread) -> every track's frame update
//        -> 24-byte frame message -> serial port (one write)
//   engine -> published frame updates and failures -> clock display, sliders,
//             lanes, message boxes (the interface thread, about twice a frame)
//   sliders, joystick -> posted to the engine while a show runs
//
// While the engine's clock runs the tracks are the engine's: the window only
// posts to it and shows what it published. Stopped, the window has them, and
// the one frame a scrub or Rewind sends is run by the engine while the window
// waits (a matter of microseconds), so the engine stays the port's only writer.
#include <QByteArray>
#include <algorithm>
#include <new>

#include "app/MotionLanes.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "engine/HeardSound.h"
#include "engine/PortWriter.h"
#include "engine/ShowEngine.h"
#include "engine/TrackFrames.h"
#include "link/MSComm.h"
#include "platform/Rounding.h"
#include "platform/RuntimeError.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"

namespace {
constexpr int kPlayWaitMs = 200;

/// A clock moved by hand (tests, benchmarks) is the engine's clock too: the
/// engine then runs the frames that became due when the frame clock ticks.
class HandMovedTime : public mk::engine::TimeBase {
public:
    explicit HandMovedTime(mk::TickSource& ticks) : m_ticks(ticks) {}
    mk::engine::Nanos now() override { return m_ticks.now() * mk::engine::kNanosPerMs; }
    bool moves() const override { return false; }

private:
    mk::TickSource& m_ticks;
};
}

void mainForm::buildEngine()
{
    m_frames = std::make_unique<mk::engine::TrackFrames>(
        std::array<mk::ServoTrack*, 8>{&slider(0)->track(), &slider(1)->track(), &slider(2)->track(),
                                       &slider(3)->track(), &slider(4)->track(), &slider(5)->track(),
                                       &slider(6)->track(), &slider(7)->track()},
        lastServoIndex + 1);
    m_frames->setJoystick(m_postedJoystick.get());
    m_frames->setPublishing(true);
    if (!m_services.ticks.realTimeUntil(m_services.ticks.now()))
        m_engineTime = std::make_unique<HandMovedTime>(m_services.ticks);
    m_engine = std::make_unique<mk::engine::ShowEngine>(*m_frames, true, m_engineTime.get());
    m_clock->attachEngine(m_engine.get());
    connect(m_clock, &::SMTPtimer::published, this, &mainForm::onPublished);
    connect(m_clock, &::SMTPtimer::stopped, this, &mainForm::endShowRun);

    // The engine writes to the port's device itself; the set-up previews go
    // through it too, so that no two messages ever interleave on the line.
    m_comm->setOutputRoute([this](const QByteArray& bytes) {
        m_engine->sendBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()), int(bytes.size()));
    });
    connect(m_comm, &::MSComm::portOpened, this, [this] {
        m_portWriter = std::make_unique<mk::engine::FdPortWriter>(m_comm->descriptor());
        m_engine->setPort(m_portWriter.get());
    });
    connect(m_comm, &::MSComm::portClosing, this, [this] {
        m_engine->setPort(nullptr);
        m_portWriter.reset();
    });
    m_heard = std::make_unique<mk::engine::HeardSound>(m_services.sound);
    m_engine->setHeardClock(m_heard.get());
}

void mainForm::postJoystick()
{
    const mk::JoystickReading r = m_services.joystick.read();
    mk::engine::Input in;
    in.kind = mk::engine::Input::Kind::Joystick;
    in.x = r.x;
    in.y = r.y;
    in.z = r.z;
    in.buttons = r.buttons;
    m_engine->post(in);
}

void mainForm::beginShowRun()
{
    for (int i = 0; i < 8; ++i)
        slider(i)->releaseIfNoButton();
    m_frames->setCount(lastServoIndex + 1);
    postJoystick();
    for (int i = 0; i < 8; ++i) {
        slider(i)->setShowRoute([this, i](bool held, qint32 value) {
            mk::engine::Input in;
            in.kind = mk::engine::Input::Kind::Slider;
            in.track = std::uint8_t(i);
            in.held = held;
            in.value = value;
            m_engine->post(in);
        });
    }
}

void mainForm::endShowRun()
{
    for (int i = 0; i < 8; ++i)
        slider(i)->setShowRoute({});
}

void mainForm::onPublished()
{
    if (m_clock->isItRunning()) {
        postJoystick();
        for (int i = 0; i < 8; ++i)
            slider(i)->releaseIfNoButton();
    }
    std::optional<mk::engine::FrameShown> last;
    while (auto shown = m_frames->nextShown()) {
        m_lanes->frameShown(*shown);
        last = shown;
    }
    if (last && m_clock->isItRunning()) {
        for (int i = 0; i <= lastServoIndex; ++i)
            slider(i)->showPosition(last->slider[size_t(i)]);
    }
    takeEngineEvents(false);
}

std::optional<std::pair<int, QString>> mainForm::takeEngineEvents(bool returnFrameError)
{
    std::optional<std::pair<int, QString>> failed;
    while (auto e = m_engine->nextEvent()) {
        if (e->kind == mk::engine::Event::Kind::PortFailed) {
            m_comm->lineFailed(QString());
            continue;
        }
        const QString text = QString::fromUtf8(e->text.data());
        if (returnFrameError && !failed) {
            failed.emplace(e->number, text);
            continue;
        }
        reportFailure(QStringLiteral("There was an error with SMPTE frame change."), QStringLiteral("SMPTE Error"),
                      e->number, text);
    }
    return failed;
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
        // What was changed before Play is a step of its own, read while the
        // tracks are still the window's.
        m_takes->beginPass();
        beginShowRun();
        // The clock starts before the sound. The frame played from goes out
        // at once, before the first tick: the clock reports only frames that
        // differ from the one it last reported, so a play from 0 would
        // otherwise never send the show's first pose.
        m_clock->startTimerAndSend();
        m_graph->playFromCursor();
        m_takes->playStarted();
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while trying to Play."), QStringLiteral("Play Error"),
                      std::current_exception());
    }
}

void mainForm::stopClicked()
{
    m_clock->stopTimer();
    endShowRun();
    m_graph->stopPlaying();
    m_countdown->stopTimer();
    m_takes->endPass();
}

void mainForm::rewindClicked()
{
    m_clock->stopTimer();
    endShowRun();
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
    if (m_clock->isItRunning())
        return; // the engine's clock sends the frames
    for (int i = 0; i < 8; ++i)
        slider(i)->releaseIfNoButton();
    m_frames->setCount(lastServoIndex + 1);
    postJoystick();
    m_engine->sendFrame(frame);
    m_engine->sync();
    // A stopped frame's update is the window's to show: the lanes read the
    // tracks themselves.
    while (m_frames->nextShown()) {
    }
    const auto failed = takeEngineEvents(true);
    // The sliders show the track even when the update failed, so that screen
    // and track never disagree.
    for (int i = 0; i < 8; ++i)
        slider(i)->showTrack();
    if (failed)
        throw mk::RuntimeError(failed->first, failed->second.toStdString());
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
    endShowRun();
    m_countdown->startTimer();
    m_takes->endPass();
}

void mainForm::onCountdownFinished()
{
    m_graph->setcCurrentTime(m_graph->cSoundStart());
    // Here the sound starts before the clock, without the wait of Play.
    m_graph->playFromCursor();
    m_clock->setFrameNumber(0);
    m_takes->beginPass();
    beginShowRun();
    m_clock->startTimer();
    m_takes->playStarted();
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
    reportFailure(sentence, title, number, description);
}

void mainForm::reportFailure(const QString& sentence, const QString& title, int number, const QString& description)
{
    // The clock keeps running behind a modal message; a fault that repeats on
    // every frame must not pile up thirty boxes a second.
    if (m_reporting)
        return;
    m_reporting = true;
    m_services.dialogs.message(mk::failureText(sentence, number, description), title, mk::MessageButtons::Ok,
                               mk::MessageIcon::Exclamation);
    m_reporting = false;
}
