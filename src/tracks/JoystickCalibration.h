#pragma once
// What the joystick calibration dialog measures, without widgets: four gauges
// (X, Y, Z and a fourth channel without an axis), each with a calibrated span
// and a live reading, and the low/high pairs that go to every servo track.
#include <QtGlobal>
#include <array>

#include "platform/Joystick.h"

namespace mk {

class JoystickCalibration {
public:
    static constexpr int kChannels = 4;
    /// The gauges' full scale.
    static constexpr qint32 kGaugeBottom = 0;
    static constexpr qint32 kGaugeTop = 32768;
    /// The highest value a track's 16-bit calibration pair holds.
    static constexpr qint32 kTrackTop = 32767;

    struct Gauge {
        qint32 min = kGaugeBottom;
        qint32 max = kGaugeTop;
        qint32 value = kGaugeBottom;
    };

    /// The gauges at full scale; every channel low 1, high 32767.
    JoystickCalibration();

    const Gauge& gauge(int channel) const { return m_gauges.at(channel); }
    qint32 low(int channel) const { return m_low.at(channel); }
    qint32 high(int channel) const { return m_high.at(channel); }

    /// The live reading: X, Y and Z move gauges 0 to 2, each held within its
    /// span. Returns whether any gauge moved.
    bool poll(const JoystickReading& reading);

    /// Takes the reading of `channel` as its bottom, at least 1 below its top.
    /// Channel 3 (no axis) keeps its gauge. Channels outside 0..3 are ignored;
    /// returns whether the channel exists.
    bool setMin(int channel, const JoystickReading& reading);
    /// Takes the reading of `channel` as its top, at least 1 above its bottom.
    bool setMax(int channel, const JoystickReading& reading);

    /// The eight values every track receives, in the order low 0, high 0, low
    /// 1, high 1, ... high 3, each held within a track's 16-bit pair and never
    /// an empty span (the gauge's span goes out instead).
    std::array<qint16, 8> trackValues() const;

private:
    /// The reading of the axis behind `channel`, on the gauges' scale.
    static qint32 axis(int channel, const JoystickReading& reading);

    std::array<Gauge, kChannels> m_gauges{};
    std::array<qint32, kChannels> m_low{};
    std::array<qint32, kChannels> m_high{};
};

} // namespace mk
