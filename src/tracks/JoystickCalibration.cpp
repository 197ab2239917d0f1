#include "tracks/JoystickCalibration.h"

#include <algorithm>

namespace mk {

JoystickCalibration::JoystickCalibration()
{
    m_low.fill(1);
    m_high.fill(kTrackTop);
}

qint32 JoystickCalibration::axis(int channel, const JoystickReading& reading)
{
    quint32 r = 0;
    switch (channel) {
    case 0: r = reading.x; break;
    case 1: r = reading.y; break;
    case 2: r = reading.z; break;
    default: break;
    }
    // A joystick service may hand out more than the gauges show; beyond the
    // full scale it reads as the top.
    return static_cast<qint32>(std::min<quint32>(r, kGaugeTop));
}

bool JoystickCalibration::poll(const JoystickReading& reading)
{
    bool moved = false;
    for (int i = 0; i < 3; ++i) {
        Gauge& g = m_gauges[i];
        const qint32 v = std::clamp(axis(i, reading), g.min, g.max);
        moved = moved || v != g.value;
        g.value = v;
    }
    return moved;
}

bool JoystickCalibration::setMin(int channel, const JoystickReading& reading)
{
    if (channel < 0 || channel >= kChannels)
        return false;
    Gauge& g = m_gauges[channel];
    if (channel < 3) {
        const qint32 r = axis(channel, reading);
        // The top a track is given is held at 32767, so the bottom stays
        // below that as well: a span of 0 would stop the track's mapping.
        const qint32 top = std::min(g.max, kTrackTop);
        g.min = r < top ? r : top - 1;
        g.value = std::clamp(g.value, g.min, g.max);
    }
    m_low[channel] = g.min;
    return true;
}

bool JoystickCalibration::setMax(int channel, const JoystickReading& reading)
{
    if (channel < 0 || channel >= kChannels)
        return false;
    Gauge& g = m_gauges[channel];
    if (channel < 3) {
        const qint32 r = axis(channel, reading);
        g.max = r > g.min ? r : g.min + 1;
        g.value = std::clamp(g.value, g.min, g.max);
    }
    m_high[channel] = g.max;
    return true;
}

std::array<qint16, 8> JoystickCalibration::trackValues() const
{
    std::array<qint16, 8> values{};
    for (int n = 0; n < kChannels; ++n) {
        qint32 low = std::clamp(m_low[n], 0, kTrackTop);
        qint32 high = std::clamp(m_high[n], 0, kTrackTop);
        // The bottom starts at 1 while its gauge starts at 0, so a top taken
        // with the stick at rest can land on the bottom. An empty span would
        // stop the track's mapping; the gauge's own span (never empty) goes
        // out instead.
        if (high <= low) {
            low = m_gauges[n].min;
            high = std::min(m_gauges[n].max, kTrackTop);
        }
        values[2 * n] = static_cast<qint16>(low);
        values[2 * n + 1] = static_cast<qint16>(high);
    }
    return values;
}

} // namespace mk
