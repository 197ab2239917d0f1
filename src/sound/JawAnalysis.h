#pragma once
// A talking jaw from the sound: per frame (30 a second), the level of the
// voice, then that level as a servo position.
//
// Levels: the sound, read sample by sample through the converter's reader,
// is band-passed (two 4th-order Butterworth sections, 200 Hz to 4 kHz by
// default, so mains hum and hiss stay out) and its RMS over each frame's
// 1/30 s window taken in dB below full scale. This is the slow part and runs
// once per sound and band.
//
// Positions: below the threshold the jaw is closed, at the top level fully
// open, limited per frame by attack and release, and moved earlier by the
// lead time because servos lag their command. Cheap: redone on every change
// of the dialog's values.
//
// Thread: any; nothing here is shared.
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

namespace mk::jaw {

constexpr int kFramesPerSecond = 30;
/// The level of a frame without any sound in the band.
constexpr float kSilenceDb = -120.0f;
constexpr double kMaxLeadMs = 300;

struct Band {
    double lowHz = 200;
    double highHz = 4000;
    bool operator==(const Band&) const = default;
};

struct Shape {
    /// Unset: from the sound (see automaticLevels).
    std::optional<double> thresholdDb;
    std::optional<double> topDb;
    double attackMs = 30;  ///< closed to fully open at the fastest
    double releaseMs = 80; ///< fully open to closed at the fastest
    double leadMs = 50;    ///< 0 to 300
    bool closedAtMax = false;
};

struct Levels {
    std::vector<float> db; ///< one a frame, from frame 0
    QString error;         ///< the sound could not be read
    bool cancelled = false;
};

/// Told the share done (0..1); false stops.
using Progress = std::function<bool(double)>;

/// The band's level for frames 0..frames-1 of the sound at `path` (frames
/// past the sound's end read as silence).
Levels analyse(const QString& path, qint32 frames, const Band& band = {}, const Progress& progress = {});

/// Threshold and top for ordinary speech without touching anything: the top
/// at the level the loudest tenth of the voiced frames reach, the threshold
/// 24 dB below it but never under -55 dBFS.
struct Range {
    double thresholdDb;
    double topDb;
};
Range automaticLevels(const std::vector<float>& db);

/// The threshold that keeps a stretch of silence closed: 3 dB over its loudest frame.
double thresholdFromSilence(const std::vector<float>& db, qint32 first, qint32 last);

/// Jaw positions for every level, within servoMin..servoMax, never 0.
std::vector<qint16> positions(const std::vector<float>& db, const Shape& shape, qint16 servoMin, qint16 servoMax);

/// The frames the lead moves the motion by.
qint32 leadFrames(double leadMs);

} // namespace mk::jaw
