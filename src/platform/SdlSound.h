#pragma once
// Sound output through SDL2, decoded by libsndfile.
//
// The device is opened in the sound's own sample rate and channel count
// (mono or stereo; wider files play their first two channels) as signed
// 16-bit samples, so what reaches the device is the file's own samples and
// SDL does whatever conversion the hardware needs. The device buffer is kept
// at or below 10 ms so that a scrub snippet is heard under the mouse (and
// closing the device never waits long). Rates below 1 kHz or above 384 kHz
// are refused.
//
// An open device wakes its thread for every buffer, playing or not (SDL
// feeds a paused device silence all the same), so the device is closed once
// nothing has played for `idleCloseMs`, and opened again by the next play or
// prepare(). The pause lets a scrub's snippets follow each other on one open
// device. Closing needs the calling thread's event loop; without one the
// device stays open until the service goes.
//
// Samples are streamed: the audio callback reads the next few hundred frames
// from the open file each time, so an hour-long sound costs no memory. The
// file is open only while a play has frames left to read.
//
// Without any audio output the service says so once and then answers
// CannotPlay; a file that libsndfile cannot open or decode is InvalidDevice.
// All members are meant to be called from one thread (the user-interface
// thread); the audio callback runs on SDL's own thread.
#include <QStringList>
#include <QtGlobal>
#include <memory>

#include "platform/SoundService.h"

namespace mk {

class SdlSound : public SoundService {
public:
    SdlSound();
    ~SdlSound() override;
    SdlSound(const SdlSound&) = delete;
    SdlSound& operator=(const SdlSound&) = delete;

    /// 263 when the file cannot be opened or decoded, else 326 when no output
    /// device can be opened (tried again on every call, so a device plugged in
    /// later is found at the next load). A length beyond 32 bits of ms throws
    /// RuntimeError 6.
    int length(const QString& path, qint32& ms) override;
    /// Negative `fromMs` plays from the start; `toMs` beyond the end or
    /// negative plays to the end; an empty range just stops. Any running play
    /// is stopped first. With `wait`, returns once the last sample has left
    /// the device buffer (or, should the device stall, after the range's
    /// length plus a second).
    int play(const QString& path, qint32 fromMs, qint32 toMs, bool wait) override;
    /// Stops whatever plays, whichever path is named: only one sound plays.
    int stop(const QString& path) override;
    /// Opens the device for this sound's format when it is closed.
    void prepare(const QString& path) override;

    /// How long the device stays open after the last play ended.
    static constexpr int idleCloseMs = 500;

    /// What the output is doing, for benchmarks and checks.
    struct Stats {
        bool deviceOpen = false;
        int rate = 0;           ///< device sample rate
        int channels = 0;       ///< device channels
        int bufferFrames = 0;   ///< frames per device buffer (callback size)
        quint64 callbacks = 0;  ///< audio callbacks since the device opened
        bool playing = false;   ///< frames of the current play remain
        qint64 framesPlayed = 0; ///< frames of the last play handed to the device
        qint64 startDelayNs = -1; ///< play() call to its first frames in the device, -1 until then
    };
    Stats stats() const;

    /// The length query without the device: 263 when the file cannot be
    /// opened or decoded, else its length in ms (RuntimeError 6 beyond 32 bits).
    static int fileLength(const QString& path, qint32& ms);

    /// round(ms * rate / 1000), halves to even; `ms` >= 0.
    static qint64 msToFrame(qint64 ms, int rate);
    /// round(frames * 1000 / rate), halves to even; throws RuntimeError 6
    /// when it does not fit 32 bits.
    static qint32 framesToMs(qint64 frames, int rate);
    /// Device buffer for a rate: the largest power of two not above 10 ms.
    static int bufferFramesFor(int rate);

    /// The file frame the listener hears at `atNs` (the monotonic clock, in
    /// ns) and the device's rate; false while nothing is heard. Lock-free,
    /// from any thread: for a clock that follows the sound.
    bool heardPosition(qint64& frame, qint64& atNs, int& rate) const override;

    /// The output every SdlSound opens from now on, by the name SDL lists
    /// (empty: the system's default).
    static void setOutputDevice(const QString& name);
    /// The outputs SDL can open by name.
    static QStringList outputDevices();

    /// Sample rates outside these are refused as undecodable (263).
    static constexpr int lowestRate = 1000;
    static constexpr int highestRate = 384000;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace mk
