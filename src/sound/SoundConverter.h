#pragma once
// Sounds as users have them: anything libsndfile reads (WAV of any depth and
// rate, FLAC, Ogg, MP3, AIFF) is made into what the waveform view, the sound
// service and the CD export read, a 16-bit PCM WAV at 44.1 kHz. A WAV of 8 or
// 16 bits at up to 44.1 kHz whose header the view reads is used as it is.
//
// Samples stream in blocks through libsoxr (very high quality) and TPDF
// dither: memory does not grow with the sound's length. The converted file
// carries, in a LIST chunk after its samples, the size, time and rate of its
// source, so an unchanged source is converted only once.
//
// Thread: any; one object per thread.
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mk::sound {

constexpr int kTargetRate = 44100;

/// Told the share done (0..1) now and then; false stops the work.
using ConvertProgress = std::function<bool(double fraction)>;

/// What libsndfile says about a file.
struct SourceInfo {
    bool readable = false;
    QString problem; ///< libsndfile's reason when not readable
    int channels = 0;
    int rate = 0;
    qint64 frames = 0;
    int format = 0; ///< libsndfile's SF_FORMAT_* word
};
SourceInfo probe(const QString& path);

/// True when the view, the sound service and the CD export read the file as
/// it is: an 8- or 16-bit PCM WAV, mono or stereo, at up to 44.1 kHz, with a
/// header where they look for it.
bool takenAsIs(const QString& path);

/// Reads any sound libsndfile can open as float frames at 44.1 kHz, one or
/// two channels (the first two of a source with more; a mono source doubled
/// when `stereo` is asked for). The analysis and the converter both read
/// through it, so they see the same samples.
class SoundReader {
public:
    enum class Channels { AsSource, Stereo, Mono };
    explicit SoundReader(const QString& path, Channels channels = Channels::AsSource, int rate = kTargetRate);
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    const SourceInfo& source() const { return m_info; }
    int channels() const { return m_channels; }
    int rate() const { return m_rate; }
    /// True when the samples come through unchanged as 16-bit values (a
    /// 16-bit source at the output rate): dither would only add noise.
    bool exact16() const { return m_exact16; }
    /// Reads up to `frames` frames into `out` (interleaved); 0 at the end.
    qint64 read(float* out, qint64 frames);
    /// Share of the source read so far.
    double fraction() const;

private:
    bool refill();
    struct Sndfile;
    struct Resampler;
    std::unique_ptr<Sndfile> m_file;
    std::unique_ptr<Resampler> m_soxr;
    SourceInfo m_info;
    QString m_error;
    Channels m_mode;
    int m_channels = 0;
    int m_rate = 0;
    bool m_exact16 = false;
    bool m_eof = false;
    bool m_flushed = false;
    std::vector<float> m_raw;  ///< one block as read, source channels
    std::vector<float> m_in;   ///< the same block in our channels
    qint64 m_inFrames = 0;
    qint64 m_inPos = 0;
    qint64 m_readFrames = 0;
};

/// Float samples to 16 bits with triangular (TPDF) dither of one step either
/// side, clipped; reproducible (fixed seed).
class Dither {
public:
    explicit Dither(bool enabled = true) : m_enabled(enabled) {}
    qint16 operator()(float sample);

private:
    quint32 next();
    bool m_enabled;
    quint32 m_state = 0x9E3779B9u;
};

enum class ConvertStatus { Done, Cancelled, Unreadable, Failed };

struct ConvertResult {
    ConvertStatus status = ConvertStatus::Failed;
    QString detail; ///< why, for Unreadable and Failed
};

/// Converts `source` into a 16-bit PCM WAV at 44.1 kHz at `target`, written
/// beside it under a temporary name and renamed when complete: a Cancel or a
/// failure leaves `target` as it was.
ConvertResult convertFile(const QString& source, const QString& target, const ConvertProgress& progress = {},
                          SoundReader::Channels channels = SoundReader::Channels::AsSource);

/// "scream.flac" -> "<folder>/scream (for MarionetteKit).wav".
QString convertedName(const QString& source, const QString& folder);
/// True when `converted` was made by convertFile from `source` as it is now
/// (same size, modification time and rate).
bool matchesSource(const QString& converted, const QString& source);

/// The way from a user's file to one the program reads.
struct Prepared {
    enum class Status {
        AsIs,       ///< used as it is; `path` is the source
        Converted,  ///< converted now into `path`
        Reused,     ///< an earlier conversion into `path` still matches
        Cancelled,  ///< the user stopped the conversion; nothing changed
        Refused,    ///< `message` says what is wrong and what to do
    };
    Status status = Status::Refused;
    QString path;
    QString message;
};

/// Decides and converts: `folder` is where a converted file goes (the
/// project's folder, or the sound's own when empty). A missing file is
/// passed on as it is, for the caller's own search.
Prepared prepare(const QString& source, const QString& folder, const ConvertProgress& progress = {});

/// The message for a file libsndfile cannot read.
QString unreadableMessage(const QString& path, const QString& reason);
/// The message telling where a converted file went.
QString convertedMessage(const QString& source, const QString& converted);

} // namespace mk::sound
