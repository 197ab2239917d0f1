#pragma once
// The show engine: owns, while a show runs, the frame clock, every track's
// frame update, the frame message and the write to the serial port, on a
// thread of its own that sleeps to absolute deadlines on the monotonic clock.
//
//   interface thread --commands--> [ring] --> engine thread --> port
//                    <--events---- [ring] <--
//                    <--published frame, counters (atomics)
//
// Nothing on the engine thread waits for the interface, takes a lock, or
// allocates once running; its only blocking call is the port write. The
// interface posts and reads what was published; it never touches the show's
// state while the engine may be running a frame.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <semaphore>
#include <thread>

#include "engine/EngineClock.h"
#include "engine/RealtimePriority.h"
#include "engine/SpscRing.h"
#include "engine/Wakeup.h"

namespace mk::engine {

class PortWriter;

/// The longest message the engine writes: eight three-byte commands.
inline constexpr int kMaxMessage = 24;

/// An input of the user's, applied by the engine between frames.
struct Input {
    enum class Kind : std::uint8_t { Slider, Joystick };
    Kind kind = Kind::Slider;
    std::uint8_t track = 0;
    bool held = false;
    std::int32_t value = 0;
    std::uint32_t x = 0, y = 0, z = 0, buttons = 0;
};

/// What the engine asks of the show. Called on the engine thread only.
class FrameWork {
public:
    virtual ~FrameWork() = default;
    /// Gives every track frame f and writes the frame message into `out`
    /// (kMaxMessage bytes); returns its length. Throws mk::RuntimeError when
    /// a track fails: nothing is written for that frame.
    virtual int frame(std::int32_t f, std::uint8_t* out) = 0;
    virtual void apply(const Input& input) = 0;
};

/// Where the listener is in the sound. Called on the engine thread.
class HeardClock {
public:
    virtual ~HeardClock() = default;
    /// The show time being heard at monotonic instant `now`; false while
    /// nothing is heard (before the device starts, after the end).
    virtual bool heard(Nanos now, Nanos& show) = 0;
};

/// Where the engine reads the time. By default the monotonic clock; a test
/// gives it a clock that moves only when told, and runs the frames that became
/// due with sync().
class TimeBase {
public:
    virtual ~TimeBase() = default;
    virtual Nanos now() = 0;
    /// False for a clock that moves only when told: the engine then sleeps
    /// until it is posted to, not to a deadline.
    virtual bool moves() const = 0;
};

/// Something the interface should show: a failed frame (its error number and
/// description, as the frame loop always reported them) or a lost port.
struct Event {
    enum class Kind : std::uint8_t { FrameError, PortFailed };
    Kind kind = Kind::FrameError;
    std::int32_t frame = 0;
    std::int32_t number = 0;
    std::array<char, 112> text{};
};

/// Lateness of the frames sent, in bins of 10 us up to 1 s (the last bin
/// holds everything later), kept without allocating while a show runs.
class LatenessHistogram {
public:
    static constexpr int kBins = 100'000;
    static constexpr double kBinMs = 0.01;
    LatenessHistogram() : m_bins(new std::atomic<std::uint32_t>[kBins]) { clear(); }
    void clear();
    void add(Nanos lateness);
    /// The p-th percentile in ms (0 when empty).
    double percentileMs(double p) const;
    double maxMs() const { return double(m_max.load(std::memory_order_relaxed)) / 1e6; }
    std::uint64_t count() const;

private:
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_bins;
    std::atomic<Nanos> m_max{0};
};

class ShowEngine {
public:
    /// Starts the engine thread (stopped, no port), at real-time priority
    /// where the system grants it unless `realtime` is false. `work` must
    /// outlive the engine (or its replacement by setWork), and `time` (nullptr:
    /// the monotonic clock) the engine.
    explicit ShowEngine(FrameWork& work, bool realtime = true, TimeBase* time = nullptr);
    ~ShowEngine();
    ShowEngine(const ShowEngine&) = delete;
    ShowEngine& operator=(const ShowEngine&) = delete;

    // --- Interface thread ---------------------------------------------------

    /// The clock runs from frame `from` (its millisecond, as the frame clock
    /// was always set); each frame it reaches is sent once. A frame equal to
    /// the one the clock last reported is not sent again.
    void start(std::int32_t from);
    /// A show from frame `from` to frame `until`: `from` is sent at once,
    /// whatever was sent before, and the clock stops by itself once `until`
    /// is sent, so a show of a known length ends on its last frame.
    void startShow(std::int32_t from, std::int32_t until);
    void stop();
    /// Stops and returns once the engine has stopped: the show's tracks are
    /// the caller's again until the next start.
    void stopAndWait();
    /// One frame message now, outside the clock (scrub, rewind).
    void sendFrame(std::int32_t f);
    /// Returns once the engine has handled everything posted before and, if
    /// its clock runs, sent the frame due now. The interface calls it only
    /// where it must see the result at once (a stopped show's frame, tests).
    void sync();
    /// Bytes written whole between frame messages (a set-up preview).
    void sendBytes(const std::uint8_t* data, int n);
    void post(const Input& input);
    /// The port frames go to (nullptr: none). Returns once the engine has let
    /// go of the previous one, so the caller may then close it.
    void setPort(PortWriter* port);
    /// Follow this sound while it plays (nullptr: the monotonic clock alone).
    /// Returns once the engine has let go of the previous one.
    void setHeardClock(HeardClock* clock);
    /// Frames come from `work` from now on (a stopped engine only: it hands
    /// over between two frames). Returns once the engine has taken it.
    void setWork(FrameWork& work);
    std::optional<Event> nextEvent() { return m_events.pop(); }
    /// Starts the lateness figures afresh (a new show).
    void clearLateness() { m_lateness.clear(); }

    // --- Published, readable from any thread ---------------------------------

    bool running() const { return m_running.load(std::memory_order_acquire); }
    /// The frame of the last message built (clock or sendFrame).
    std::int32_t frame() const { return m_frame.load(std::memory_order_acquire); }
    std::uint64_t framesSent() const { return m_sent.load(std::memory_order_relaxed); }
    std::uint64_t framesSkipped() const { return m_skipped.load(std::memory_order_relaxed); }
    /// Lateness of each clock frame after the instant it became current.
    const LatenessHistogram& lateness() const { return m_lateness; }
    /// The priority the engine thread got.
    Priority priority() const;
    double clockRate() const { return m_rate.load(std::memory_order_relaxed); }

private:
    struct Command {
        enum class Kind : std::uint8_t { Start, Stop, SendFrame, Bytes, Input, Port, Heard, Work, Sync, Quit };
        Kind kind = Kind::Stop;
        std::int32_t frame = 0;
        std::int32_t until = 0;
        bool sendFirst = false;
        std::uint8_t n = 0;
        std::array<std::uint8_t, kMaxMessage> bytes{};
        Input input;
        PortWriter* port = nullptr;
        HeardClock* heard = nullptr;
        FrameWork* work = nullptr;
    };

    void postCommand(const Command& c);
    void postAndWait(const Command& c);
    void run();
    void apply(const Command& c);
    void runClock();
    void buildAndSend(std::int32_t f);
    void write(const std::uint8_t* data, int n);
    void report(Event::Kind kind, std::int32_t frame, int number, const char* text);

    Nanos now() const { return m_time ? m_time->now() : monotonicNanos(); }

    FrameWork* m_work;
    bool m_wantRealtime;
    TimeBase* m_time;
    SpscRing<Command, 1024> m_commands;
    SpscRing<Event, 64> m_events;
    Wakeup m_wake;
    std::binary_semaphore m_ack{0};
    std::binary_semaphore m_started{0};

    // Engine thread only.
    MediaClock m_clock;
    PortWriter* m_port = nullptr;
    HeardClock* m_heard = nullptr;
    bool m_clockRunning = false;
    std::int32_t m_lastReported = 0;
    std::int32_t m_until = 0;
    std::int64_t m_lastClockFrame = -1; // the last frame this run sent, for skips
    Nanos m_deadline = -1;
    Nanos m_startedAt = 0;
    bool m_quit = false;
    std::array<std::uint8_t, kMaxMessage> m_message{};

    std::atomic<bool> m_running{false};
    std::atomic<std::int32_t> m_frame{0};
    std::atomic<std::uint64_t> m_sent{0};
    std::atomic<std::uint64_t> m_skipped{0};
    std::atomic<double> m_rate{1.0};
    LatenessHistogram m_lateness;
    Priority m_priority;
    std::thread m_thread;
};

} // namespace mk::engine
