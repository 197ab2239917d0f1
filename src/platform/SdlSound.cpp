#include "platform/SdlSound.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <QtDebug>

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Rounding.h"
#include "platform/SdlStart.h"

namespace mk {

namespace {

// The output chosen by name for the whole program (a headless player's
// --audio-device); empty for the system's default.
std::string& outputName()
{
    static std::string name;
    return name;
}

using Clock = std::chrono::steady_clock;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFile = std::unique_ptr<SNDFILE, SndFileCloser>;

/// n / d for n >= 0, d > 0, to the nearest whole number with halves to even.
qint64 divRoundHalfEven(qint64 n, qint64 d)
{
    qint64 q = n / d;
    const qint64 twiceRest = 2 * (n % d);
    if (twiceRest > d || (twiceRest == d && (q & 1)))
        ++q;
    return q;
}

/// Opens a sound for reading, or nothing when libsndfile cannot make sense of
/// it (missing, unreadable, not a sound, or a header with no usable format).
SndFile openSound(const QString& path, SF_INFO& info)
{
    info = SF_INFO{};
    SndFile f(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!f || info.samplerate <= 0 || info.channels <= 0 || info.frames < 0)
        return {};
    // Rates no output plays; SDL would accept some of them and then take
    // seconds per buffer.
    if (info.samplerate < SdlSound::lowestRate || info.samplerate > SdlSound::highestRate)
        return {};
    // Float samples beyond full scale would otherwise wrap round when read as
    // 16-bit, a loud crack instead of a clipped peak.
    sf_command(f.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return f;
}

int deviceChannelsFor(int fileChannels) { return std::min(fileChannels, 2); }

} // namespace

struct SdlSound::Impl {
    // Device bookkeeping; touched by the calling thread only.
    bool audioInitialised = false;
    bool warned = false;
    bool openFailed = false;
    SDL_AudioDeviceID device = 0;
    int rate = 0;
    int channels = 0;
    int bufferFrames = 0;
    quint64 lastPlayId = 0;

    // The play the callback works on: changed only under the device lock,
    // which SDL holds while the callback runs.
    SndFile file;
    int fileChannels = 0;
    qint64 remaining = 0;      // frames still to hand to the device
    bool ending = false;       // the last frames are in the device buffer
    quint64 playId = 0;
    qint64 framesPlayed = 0;
    Clock::time_point playCalled;
    qint64 startDelayNs = -1;
    std::vector<qint16> scratch; // whole frames of files wider than the device

    std::atomic<quint64> callbacks{0};

    // The file frame the listener hears and when, for a clock that follows
    // the sound: written by the callback, read from any thread without a
    // lock (a sequence count around the three values; -1: nothing heard).
    qint64 firstFrame = 0;
    std::atomic<quint32> heardSeq{0};
    std::atomic<qint64> heardFrame{-1};
    std::atomic<qint64> heardAt{0};
    std::atomic<int> heardRate{0};

    void publishHeard(qint64 frame, qint64 atNs, int r)
    {
        const quint32 s = heardSeq.load(std::memory_order_relaxed);
        heardSeq.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        heardFrame.store(frame, std::memory_order_relaxed);
        heardAt.store(atNs, std::memory_order_relaxed);
        heardRate.store(r, std::memory_order_relaxed);
        heardSeq.store(s + 2, std::memory_order_release);
    }

    // Closes the device once nothing plays; made on first use, in the
    // calling thread, when that thread runs an event loop.
    std::unique_ptr<QTimer> idleTimer;

    // A waiting play sleeps here until its last samples have gone out.
    std::mutex doneMutex;
    std::condition_variable doneCv;
    quint64 finishedId = 0;

    ~Impl()
    {
        idleTimer.reset();
        closeDevice();
        if (audioInitialised)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    void warnOnce(const char* what)
    {
        if (warned)
            return;
        warned = true;
        qWarning("No sound output (%s: %s); carrying on without sound.", what, SDL_GetError());
    }

    void finished(quint64 id)
    {
        {
            std::lock_guard<std::mutex> lock(doneMutex);
            finishedId = std::max(finishedId, id);
        }
        doneCv.notify_all();
    }

    /// Ends the running play at once. The file is closed outside the device
    /// lock so the audio thread never waits on it.
    void stopPlay()
    {
        SndFile old;
        quint64 id = 0;
        if (device)
            SDL_LockAudioDevice(device);
        old = std::move(file);
        remaining = 0;
        ending = false;
        id = playId;
        if (device)
            SDL_UnlockAudioDevice(device);
        finished(id);
    }

    bool playing()
    {
        if (!device)
            return false;
        SDL_LockAudioDevice(device);
        const bool busy = remaining > 0 || ending;
        SDL_UnlockAudioDevice(device);
        return busy;
    }

    /// (Re)starts the wait after which an idle device is closed. A play
    /// still running then is waited for again.
    void closeWhenIdle()
    {
        if (!device)
            return;
        if (!idleTimer) {
            QCoreApplication* app = QCoreApplication::instance();
            if (!app || app->thread() != QThread::currentThread())
                return;
            idleTimer = std::make_unique<QTimer>();
            idleTimer->setSingleShot(true);
            idleTimer->setInterval(idleCloseMs);
            QObject::connect(idleTimer.get(), &QTimer::timeout, [this] {
                if (playing())
                    idleTimer->start();
                else
                    closeDevice();
            });
        }
        idleTimer->start();
    }

    void closeDevice()
    {
        if (!device) {
            stopPlay();
            return;
        }
        SDL_CloseAudioDevice(device); // joins the audio thread
        device = 0;
        rate = channels = bufferFrames = 0;
        stopPlay();
    }

    /// An open device in this format, or false. After a failure plays do not
    /// try again (each try can take long without hardware); a length query,
    /// which starts every load, does.
    bool ensureDevice(int wantRate, int wantChannels, bool retry)
    {
        if (device && rate == wantRate && channels == wantChannels)
            return true;
        if (openFailed && !retry)
            return false;
        if (!audioInitialised) {
            SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "MarionetteKit");
            if (!startSdlSubsystem(SDL_INIT_AUDIO)) {
                openFailed = true;
                warnOnce("audio");
                return false;
            }
            audioInitialised = true;
        }
        closeDevice();

        SDL_AudioSpec want{};
        want.freq = wantRate;
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(wantChannels);
        want.samples = static_cast<Uint16>(bufferFramesFor(wantRate));
        want.callback = &Impl::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the hardware takes, so
        // the callback always sees the file's own rate and channels.
        const std::string& output = outputName();
        device = SDL_OpenAudioDevice(output.empty() ? nullptr : output.c_str(), 0, &want, &have, 0);
        if (!device) {
            openFailed = true;
            warnOnce("audio device");
            return false;
        }
        openFailed = false;
        rate = wantRate;
        channels = wantChannels;
        bufferFrames = have.samples;
        // The device runs from now on, silent between plays, so a play only
        // has to wait for the next buffer, until it has been idle a while.
        SDL_PauseAudioDevice(device, 0);
        closeWhenIdle();
        return true;
    }

    static void SDLCALL callback(void* userdata, Uint8* stream, int len)
    {
        static_cast<Impl*>(userdata)->fill(reinterpret_cast<qint16*>(stream), len);
    }

    void fill(qint16* out, int bytes)
    {
        callbacks.fetch_add(1, std::memory_order_relaxed);
        const int frames = channels > 0 ? bytes / (2 * channels) : 0;
        // The buffer handed over last time is the one being heard now.
        if ((file && remaining > 0) || ending) {
            const qint64 heard = framesPlayed - bufferFrames;
            const qint64 now =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
            publishHeard(heard >= 0 ? firstFrame + heard : -1, now, rate);
        } else if (heardFrame.load(std::memory_order_relaxed) >= 0) {
            publishHeard(-1, 0, rate);
        }
        int done = 0;
        if (ending) {
            // The buffer that held the last frames has been taken by the
            // device: the play is over.
            ending = false;
            finished(playId);
        } else if (file && remaining > 0) {
            while (done < frames && remaining > 0) {
                qint64 want = std::min<qint64>(frames - done, remaining);
                sf_count_t got = 0;
                if (fileChannels == channels) {
                    got = sf_readf_short(file.get(), out + done * channels, want);
                } else {
                    want = std::min<qint64>(want, static_cast<qint64>(scratch.size()) / fileChannels);
                    got = sf_readf_short(file.get(), scratch.data(), want);
                    for (sf_count_t i = 0; i < got; ++i)
                        for (int c = 0; c < channels; ++c)
                            out[(done + i) * channels + c] = scratch[i * fileChannels + c];
                }
                if (got <= 0) { // read error or the file is shorter than it said
                    remaining = 0;
                    break;
                }
                done += static_cast<int>(got);
                remaining -= got;
            }
            if (done > 0 && startDelayNs < 0)
                startDelayNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - playCalled).count();
            framesPlayed += done;
            if (remaining == 0) {
                // Every frame has been read: the file is closed now rather
                // than at the next play, so none stays open between plays.
                file.reset();
                ending = true;
            }
        }
        std::memset(out + static_cast<qint64>(done) * channels, 0,
                    static_cast<size_t>(bytes) - static_cast<size_t>(done) * channels * 2);
    }
};

SdlSound::SdlSound() : d(std::make_unique<Impl>()) {}

SdlSound::~SdlSound() = default;

int SdlSound::length(const QString& path, qint32& ms)
{
    ms = 0;
    SF_INFO info;
    {
        SndFile f = openSound(path, info);
        if (!f)
            return InvalidDevice;
    }
    // The device is opened to learn that one exists; it closes again when
    // no play follows.
    if (!d->ensureDevice(info.samplerate, deviceChannelsFor(info.channels), true))
        return CannotPlay;
    ms = framesToMs(info.frames, info.samplerate);
    return NoError;
}

void SdlSound::prepare(const QString& path)
{
    SF_INFO info;
    if (openSound(path, info))
        d->ensureDevice(info.samplerate, deviceChannelsFor(info.channels), false);
    d->closeWhenIdle();
}

int SdlSound::fileLength(const QString& path, qint32& ms)
{
    ms = 0;
    SF_INFO info;
    if (!openSound(path, info))
        return InvalidDevice;
    ms = framesToMs(info.frames, info.samplerate);
    return NoError;
}

int SdlSound::play(const QString& path, qint32 fromMs, qint32 toMs, bool wait)
{
    const Clock::time_point called = Clock::now();
    d->stopPlay();

    SF_INFO info;
    SndFile f = openSound(path, info);
    if (!f)
        return InvalidDevice;
    const int channels = deviceChannelsFor(info.channels);
    if (!d->ensureDevice(info.samplerate, channels, false))
        return CannotPlay;

    const qint64 first = fromMs <= 0 ? 0 : std::min(msToFrame(fromMs, info.samplerate), qint64(info.frames));
    const qint64 last = toMs < 0 ? info.frames : std::min(msToFrame(toMs, info.samplerate), qint64(info.frames));
    if (last <= first)
        return NoError;
    if (sf_seek(f.get(), first, SEEK_SET) != first)
        return InvalidDevice;

    std::vector<qint16> scratch;
    if (info.channels != channels)
        scratch.resize(static_cast<size_t>(std::max(d->bufferFrames, 256)) * info.channels);

    const quint64 id = ++d->lastPlayId;
    SDL_LockAudioDevice(d->device);
    d->file = std::move(f);
    d->fileChannels = info.channels;
    d->scratch.swap(scratch);
    d->remaining = last - first;
    d->ending = false;
    d->playId = id;
    d->framesPlayed = 0;
    d->firstFrame = first;
    d->publishHeard(-1, 0, 0);
    d->playCalled = called;
    d->startDelayNs = -1;
    SDL_UnlockAudioDevice(d->device);
    d->closeWhenIdle();

    if (wait) {
        // Bounded, so a device that stops pulling samples cannot hang the
        // user interface.
        const qint64 rangeMs = (last - first) * 1000 / info.samplerate;
        const auto limit = std::chrono::milliseconds(rangeMs + 1000);
        std::unique_lock<std::mutex> lock(d->doneMutex);
        d->doneCv.wait_for(lock, limit, [&] { return d->finishedId >= id; });
    }
    return NoError;
}

bool SdlSound::heardPosition(qint64& frame, qint64& atNs, int& rate) const
{
    for (;;) {
        const quint32 s = d->heardSeq.load(std::memory_order_acquire);
        if (s & 1u)
            continue;
        frame = d->heardFrame.load(std::memory_order_relaxed);
        atNs = d->heardAt.load(std::memory_order_relaxed);
        rate = d->heardRate.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (d->heardSeq.load(std::memory_order_relaxed) == s)
            return frame >= 0 && rate > 0;
    }
}

int SdlSound::stop(const QString&)
{
    d->stopPlay();
    d->publishHeard(-1, 0, 0);
    d->closeWhenIdle();
    return NoError;
}

SdlSound::Stats SdlSound::stats() const
{
    Stats s;
    s.callbacks = d->callbacks.load(std::memory_order_relaxed);
    if (!d->device)
        return s;
    s.deviceOpen = true;
    s.rate = d->rate;
    s.channels = d->channels;
    s.bufferFrames = d->bufferFrames;
    SDL_LockAudioDevice(d->device);
    s.playing = d->remaining > 0 || d->ending;
    s.framesPlayed = d->framesPlayed;
    s.startDelayNs = d->startDelayNs;
    SDL_UnlockAudioDevice(d->device);
    return s;
}

qint64 SdlSound::msToFrame(qint64 ms, int rate)
{
    if (ms <= 0 || rate <= 0)
        return 0;
    return divRoundHalfEven(ms * rate, 1000);
}

qint32 SdlSound::framesToMs(qint64 frames, int rate)
{
    if (frames <= 0 || rate <= 0)
        return 0;
    if (frames > std::numeric_limits<qint64>::max() / 1000)
        throw RuntimeError::overflow();
    return checkedNarrow<qint32>(divRoundHalfEven(frames * 1000, rate));
}

int SdlSound::bufferFramesFor(int rate)
{
    // Sized by time, not frames: the audio thread sleeps about one buffer at
    // a time, and closing the device waits for it.
    int frames = 1;
    while (frames * 2 * 100 <= rate)
        frames *= 2;
    return frames;
}

void SdlSound::setOutputDevice(const QString& name)
{
    outputName() = name.toStdString();
}

QStringList SdlSound::outputDevices()
{
    QStringList names;
    if (!SDL_WasInit(SDL_INIT_AUDIO) && !startSdlSubsystem(SDL_INIT_AUDIO))
        return names;
    for (int i = 0, n = SDL_GetNumAudioDevices(0); i < n; ++i)
        if (const char* name = SDL_GetAudioDeviceName(i, 0))
            names << QString::fromUtf8(name);
    return names;
}

} // namespace mk
