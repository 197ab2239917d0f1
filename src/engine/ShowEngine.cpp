#include "engine/ShowEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "engine/PortWriter.h"
#include "platform/RuntimeError.h"

namespace mk::engine {

// --- LatenessHistogram ---------------------------------------------------------

void LatenessHistogram::clear()
{
    for (int i = 0; i < kBins; ++i)
        m_bins[i].store(0, std::memory_order_relaxed);
    m_max.store(0, std::memory_order_relaxed);
}

void LatenessHistogram::add(Nanos lateness)
{
    const Nanos l = std::max<Nanos>(lateness, 0);
    const auto bin = std::min<Nanos>(l / 10'000, kBins - 1);
    m_bins[bin].fetch_add(1, std::memory_order_relaxed);
    if (l > m_max.load(std::memory_order_relaxed))
        m_max.store(l, std::memory_order_relaxed);
}

std::uint64_t LatenessHistogram::count() const
{
    std::uint64_t n = 0;
    for (int i = 0; i < kBins; ++i)
        n += m_bins[i].load(std::memory_order_relaxed);
    return n;
}

double LatenessHistogram::percentileMs(double p) const
{
    const std::uint64_t n = count();
    if (n == 0)
        return 0;
    const auto rank = std::uint64_t(std::ceil(p / 100.0 * double(n)));
    std::uint64_t seen = 0;
    for (int i = 0; i < kBins; ++i) {
        seen += m_bins[i].load(std::memory_order_relaxed);
        if (seen >= std::max<std::uint64_t>(rank, 1))
            return (i + 1) * kBinMs; // the bin's upper edge: never flattering
    }
    return maxMs();
}

// --- ShowEngine ------------------------------------------------------------------

ShowEngine::ShowEngine(FrameWork& work, bool realtime, TimeBase* time)
    : m_work(&work), m_wantRealtime(realtime), m_time(time)
{
    m_thread = std::thread([this] { run(); });
    m_started.acquire();
}

ShowEngine::~ShowEngine()
{
    Command c;
    c.kind = Command::Kind::Quit;
    // The ring may be full of a stalled interface's posts; quitting must not
    // depend on a free slot.
    while (!m_commands.push(c)) {
        m_wake.ring();
        std::this_thread::yield();
    }
    m_wake.ring();
    m_thread.join();
}

Priority ShowEngine::priority() const
{
    return m_priority;
}

void ShowEngine::postCommand(const Command& c)
{
    // A full ring means the engine has not run for over a thousand posts;
    // dropping an input then beats blocking the interface on it.
    m_commands.push(c);
    m_wake.ring();
}

void ShowEngine::start(std::int32_t from)
{
    Command c;
    c.kind = Command::Kind::Start;
    c.frame = from;
    c.until = std::numeric_limits<std::int32_t>::max();
    m_running.store(true, std::memory_order_release);
    postCommand(c);
}

void ShowEngine::startShow(std::int32_t from, std::int32_t until)
{
    Command c;
    c.kind = Command::Kind::Start;
    c.frame = from;
    c.until = until;
    c.sendFirst = true;
    m_running.store(true, std::memory_order_release);
    postCommand(c);
}

void ShowEngine::stop()
{
    Command c;
    c.kind = Command::Kind::Stop;
    m_running.store(false, std::memory_order_release);
    postCommand(c);
}

void ShowEngine::sendFrame(std::int32_t f)
{
    Command c;
    c.kind = Command::Kind::SendFrame;
    c.frame = f;
    postCommand(c);
}

void ShowEngine::sendBytes(const std::uint8_t* data, int n)
{
    Command c;
    c.kind = Command::Kind::Bytes;
    c.n = std::uint8_t(std::clamp(n, 0, kMaxMessage));
    std::memcpy(c.bytes.data(), data, c.n);
    postCommand(c);
}

void ShowEngine::post(const Input& input)
{
    Command c;
    c.kind = Command::Kind::Input;
    c.input = input;
    postCommand(c);
}

void ShowEngine::postAndWait(const Command& c)
{
    while (!m_commands.push(c)) {
        m_wake.ring();
        std::this_thread::yield();
    }
    m_wake.ring();
    m_ack.acquire();
}

void ShowEngine::stopAndWait()
{
    stop();
    sync();
}

void ShowEngine::sync()
{
    Command c;
    c.kind = Command::Kind::Sync;
    postAndWait(c);
}

void ShowEngine::setPort(PortWriter* port)
{
    Command c;
    c.kind = Command::Kind::Port;
    c.port = port;
    postAndWait(c);
}

void ShowEngine::setHeardClock(HeardClock* clock)
{
    Command c;
    c.kind = Command::Kind::Heard;
    c.heard = clock;
    postAndWait(c);
}

void ShowEngine::setWork(FrameWork& work)
{
    Command c;
    c.kind = Command::Kind::Work;
    c.work = &work;
    postAndWait(c);
}

void ShowEngine::run()
{
    if (m_wantRealtime)
        m_priority = raiseCallingThread();
    m_started.release();
    while (!m_quit) {
        while (auto c = m_commands.pop()) {
            apply(*c);
            if (m_quit)
                return;
        }
        if (m_clockRunning)
            runClock();
        const bool timed = m_clockRunning && (!m_time || m_time->moves());
        m_wake.sleepUntil(timed ? m_deadline : -1);
    }
}

void ShowEngine::apply(const Command& c)
{
    switch (c.kind) {
    case Command::Kind::Start: {
        const Nanos t = now();
        // As the frame clock always started: from the frame's millisecond.
        const double ms = std::nearbyint(double(c.frame) * 100.0 / 3.0);
        m_clock.start(t, Nanos(ms) * kNanosPerMs);
        m_startedAt = t;
        m_clockRunning = true;
        m_lastClockFrame = -1;
        m_until = c.until;
        if (c.sendFirst)
            m_lastReported = c.frame == std::numeric_limits<std::int32_t>::min() ? c.frame + 1 : c.frame - 1;
        // Again here: a run that ended on its own before this command was
        // read may have cleared what start() set.
        m_running.store(true, std::memory_order_release);
        break;
    }
    case Command::Kind::Stop:
        m_clockRunning = false;
        break;
    case Command::Kind::SendFrame:
        buildAndSend(c.frame);
        break;
    case Command::Kind::Bytes:
        write(c.bytes.data(), c.n);
        break;
    case Command::Kind::Input:
        m_work->apply(c.input);
        break;
    case Command::Kind::Port:
        m_port = c.port;
        m_ack.release();
        break;
    case Command::Kind::Heard:
        m_heard = c.heard;
        m_ack.release();
        break;
    case Command::Kind::Work:
        m_work = c.work;
        m_ack.release();
        break;
    case Command::Kind::Sync:
        if (m_clockRunning)
            runClock();
        m_ack.release();
        break;
    case Command::Kind::Quit:
        m_quit = true;
        break;
    }
}

void ShowEngine::runClock()
{
    const Nanos t = now();
    Nanos heard = 0;
    if (m_heard && m_heard->heard(t, heard)) {
        m_clock.follow(t, heard);
        m_rate.store(m_clock.rate(), std::memory_order_relaxed);
    }
    const Nanos show = m_clock.showTimeAt(t);
    // Whole milliseconds, floored, as the tick count the clock always read.
    const Nanos ms = show >= 0 ? show / kNanosPerMs : -((-show + kNanosPerMs - 1) / kNanosPerMs);
    const std::int64_t f = frameAtMs(ms);
    if (f > std::numeric_limits<std::int32_t>::max() || f < std::numeric_limits<std::int32_t>::min()) {
        // Frame numbers are 32-bit: the clock stops at its last frame.
        m_clockRunning = false;
        m_running.store(false, std::memory_order_release);
        return;
    }
    if (f != m_lastReported) {
        if (m_lastClockFrame >= 0 && f > m_lastClockFrame + 1)
            m_skipped.fetch_add(std::uint64_t(f - m_lastClockFrame - 1), std::memory_order_relaxed);
        m_lastClockFrame = f;
        m_lastReported = std::int32_t(f);
        buildAndSend(std::int32_t(f));
        // The frame a run starts on became current at the start, not before.
        const Nanos due = std::max(m_clock.instantOf(firstMsOfFrame(f) * kNanosPerMs), m_startedAt);
        m_lateness.add(now() - due);
    }
    if (f >= m_until) {
        m_clockRunning = false;
        m_running.store(false, std::memory_order_release);
        return;
    }
    m_deadline = m_clock.instantOf(firstMsOfFrame(f + 1) * kNanosPerMs);
}

void ShowEngine::buildAndSend(std::int32_t f)
{
    m_frame.store(f, std::memory_order_release);
    int n = 0;
    try {
        n = m_work->frame(f, m_message.data());
    } catch (const RuntimeError& e) {
        report(Event::Kind::FrameError, f, e.number(), e.what());
        return;
    } catch (const std::bad_alloc&) {
        const RuntimeError e = RuntimeError::outOfMemory();
        report(Event::Kind::FrameError, f, e.number(), e.what());
        return;
    } catch (const std::exception& e) {
        report(Event::Kind::FrameError, f, RuntimeError::internalError().number(), e.what());
        return;
    } catch (...) {
        const RuntimeError e = RuntimeError::internalError();
        report(Event::Kind::FrameError, f, e.number(), e.what());
        return;
    }
    m_sent.fetch_add(1, std::memory_order_relaxed);
    write(m_message.data(), n);
}

void ShowEngine::write(const std::uint8_t* data, int n)
{
    if (!m_port || n <= 0)
        return;
    if (m_port->write(data, n) == PortWriter::Result::Failed) {
        m_port = nullptr;
        report(Event::Kind::PortFailed, m_frame.load(std::memory_order_relaxed), 0, "");
    }
}

void ShowEngine::report(Event::Kind kind, std::int32_t frame, int number, const char* text)
{
    Event e;
    e.kind = kind;
    e.frame = frame;
    e.number = number;
    std::strncpy(e.text.data(), text, e.text.size() - 1);
    // A fault that repeats on every frame fills the ring; the interface
    // shows one message at a time anyway.
    m_events.push(e);
}

} // namespace mk::engine
