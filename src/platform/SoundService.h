#pragma once
// The sound service behind the waveform view: what the view asks of an audio
// output, by file path, with the multimedia interface's error numbers.
#include <QString>
#include <QtGlobal>

namespace mk {

class SoundService {
public:
    enum Error : int {
        NoError = 0,
        InvalidDevice = 263, ///< the file cannot be opened or decoded
        CannotPlay = 326,    ///< no audio output device can play it
    };

    virtual ~SoundService() = default;
    /// Length of the sound in ms ("status ... length").
    virtual int length(const QString& path, qint32& ms) = 0;
    /// Plays from `fromMs` to `toMs` (-1: to the end); with `wait`, returns
    /// when the range has been played. Otherwise returns at once.
    virtual int play(const QString& path, qint32 fromMs, qint32 toMs, bool wait) = 0;
    /// Stops a running play; harmless when nothing plays.
    virtual int stop(const QString& path) = 0;
    /// A play of this sound is coming: an output that rests while nothing
    /// plays gets ready now, so the play itself starts without that delay.
    virtual void prepare(const QString& path) { (void)path; }
    /// The file frame the listener hears at `atNs` (monotonic ns) and the
    /// output's rate; false while nothing is heard or the output cannot tell.
    /// Lock-free, from any thread.
    virtual bool heardPosition(qint64& frame, qint64& atNs, int& rate) const
    {
        (void)frame, (void)atNs, (void)rate;
        return false;
    }
};

/// No audio output at all: every command fails with CannotPlay.
class NoSound : public SoundService {
public:
    int length(const QString&, qint32& ms) override { ms = 0; return CannotPlay; }
    int play(const QString&, qint32, qint32, bool) override { return CannotPlay; }
    int stop(const QString&) override { return NoError; }
};

} // namespace mk
