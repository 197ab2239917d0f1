#include "tracks/ServoTrack.h"

#include <algorithm>
#include <new>

#include "platform/Rounding.h"
#include "platform/RuntimeError.h"

namespace mk {

ServoTrack::ServoTrack(Joystick& joystick)
    : m_joystick(joystick)
{
}

void ServoTrack::setPosition(qint32 v)
{
    m_sliderValue = clampToSlider(v);
}

void ServoTrack::setUsesJoystick(bool on)
{
    m_usesJoystick = on;
    // Only channels 0 to 3 have a picture; any other channel shows none
    // rather than failing.
    const int channel = m_whichJoystickChannel;
    m_visibleIndicator = on && channel >= 0 && channel <= 3 ? channel : -1;
}

void ServoTrack::setCalibrationData(qint16 value)
{
    if (m_calibrationIndex >= 8)
        return; // the index stops here, so endless writes cannot overflow it
    const int channel = m_calibrationIndex / 2;
    if (m_calibrationIndex % 2 == 0)
        m_calLow[channel] = value;
    else
        m_calHigh[channel] = value;
    ++m_calibrationIndex;
}

void ServoTrack::setDatalength(qint32 n)
{
    resizeData(n);
}

qint16 ServoTrack::data()
{
    checkIndex(m_dataCursor);
    const qint16 v = m_data[static_cast<size_t>(m_dataCursor)];
    ++m_dataCursor;
    return v;
}

void ServoTrack::setData(qint16 v)
{
    checkIndex(m_dataCursor);
    m_data[static_cast<size_t>(m_dataCursor)] = v;
    ++m_dataCursor;
}

void ServoTrack::setPlaybackEnabled(bool on)
{
    m_playbackSwitch = on;
    m_activeChecked = on;
}

static QString fitName(const QString& name)
{
    return name.left(ServoTrack::kNameLength).leftJustified(ServoTrack::kNameLength, QLatin1Char(' '));
}

QString ServoTrack::servoName()
{
    m_nameCopy = fitName(m_nameBoxText);
    return m_nameCopy;
}

void ServoTrack::setServoName(const QString& name)
{
    m_nameCopy = fitName(name);
    m_nameBoxText = name;
}

void ServoTrack::setMaxValue(qint16 v)
{
    if (v <= m_minValue)
        return;
    m_maxValue = v;
    setSliderMax(v);
}

void ServoTrack::setMinValue(qint16 v)
{
    if (v >= m_maxValue)
        return;
    m_minValue = v;
    setSliderMin(v);
}

void ServoTrack::setMaxframe(qint32 n)
{
    resizeData(n);
    m_maxframe = n;
}

QString ServoTrack::serialPortString()
{
    if (!m_hasOutput)
        return {};
    m_hasOutput = false;
    return QString::number(m_output);
}

qint32 ServoTrack::takeOutput()
{
    if (!m_hasOutput)
        throw RuntimeError::typeMismatch();
    m_hasOutput = false;
    return m_output;
}

void ServoTrack::setCurrentFrame(qint32 f)
{
    // 1. The array follows the frames it is asked for, active or not. It
    // only ever grows here: an array made longer than maxframe (datalength)
    // keeps the positions beyond f.
    if (f > datalength())
        resizeData(f);
    if (f > m_maxframe)
        m_maxframe = f;
    // 2.
    if (f < 0)
        f = 0;
    // 3. An inactive track reports the raw slider position and nothing else.
    if (!m_activeChecked) {
        m_output = m_sliderValue;
        m_hasOutput = true;
        return;
    }

    // Everything below is worked out first and stored at the end, so that an
    // error leaves the track as it was.
    qint32 value = m_sliderValue;
    bool record = false;
    qint16 gapValue = 0;
    bool fillGap = false;

    if (m_playbackSwitch) {
        // Both playback and recording touch data[f].
        checkIndex(f);
        const qint16 recorded = m_data[static_cast<size_t>(f)];

        if (m_recordingEnabled) {
            JoystickReading reading;
            if (m_usesJoystick)
                reading = m_joystick.read();
            const bool joystickRecords = m_usesJoystick && reading.buttons == 1;
            record = m_sliderHeld || joystickRecords;
            if (joystickRecords) {
                // The joystick wins over a mouse held at the same time.
                quint32 r;
                int pair;
                switch (m_whichJoystickChannel) {
                case 0: r = reading.x; pair = 0; break;
                case 1: r = reading.y; pair = 1; break;
                default: r = reading.z; pair = 2; break;
                }
                value = clampToSlider(
                    mapJoystick(m_sliderMin, m_sliderMax, r, m_calLow[pair], m_calHigh[pair]));
            }
        }

        if (record) {
            if (f - m_lastFrame == 2) {
                checkIndex(m_lastFrame);
                checkIndex(f - 1);
                // A last frame with nothing recorded (0) is not a position: the
                // mean with it would jerk the servo towards its minimum.
                const qint16 before = m_data[static_cast<size_t>(m_lastFrame)];
                if (before != 0) {
                    gapValue = roundTo<qint16>((static_cast<double>(value) + before) / 2.0);
                    fillGap = true;
                }
            }
        } else if (recorded != 0) {
            value = clampToSlider(recorded);
        }
    }

    const qint16 stored = record ? checkedNarrow<qint16>(value) : 0;

    // 7. Mirror within the slider's range; the values come from 16-bit
    // positions, so the 32-bit sum cannot overflow.
    const qint32 output = m_isReversed ? m_sliderMax + m_sliderMin - value : value;

    m_sliderValue = value;
    if (record) {
        m_data[static_cast<size_t>(f)] = stored;
        if (fillGap)
            m_data[static_cast<size_t>(f - 1)] = gapValue;
    }
    m_output = output;
    m_hasOutput = true;
    // 8.
    m_lastFrame = f;
}

void ServoTrack::clearTheArray()
{
    m_data.assign(2, 0);
    m_data[1] = 128;
    m_maxframe = 0;
    setSliderMax(129);
    setSliderMin(128);
    setPosition(128);
}

qint16 ServoTrack::at(qint32 i) const
{
    checkIndex(i);
    return m_data[static_cast<size_t>(i)];
}

qint32 ServoTrack::mapJoystick(qint32 sliderMin, qint32 sliderMax, quint32 r, qint16 low, qint16 high)
{
    const qint16 range = checkedNarrow<qint16>(static_cast<qint64>(sliderMax) - sliderMin);
    const qint16 span = checkedNarrow<qint16>(static_cast<qint32>(high) - low);
    if (span == 0)
        throw RuntimeError::divisionByZero();
    const qint32 offset = checkedNarrow<qint32>(static_cast<qint64>(r) - low);
    const qint32 product = checkedNarrow<qint32>(static_cast<qint64>(offset) * range);
    const double value = static_cast<double>(sliderMin) + static_cast<double>(product) / span;
    return roundTo<qint32>(value);
}

void ServoTrack::resizeData(qint32 upperBound)
{
    if (upperBound < 0)
        throw RuntimeError::subscriptOutOfRange();
    if (upperBound > kMaxFrames)
        throw RuntimeError::outOfMemory();
    try {
        m_data.resize(static_cast<size_t>(upperBound) + 1, 0);
    } catch (const std::bad_alloc&) {
        throw RuntimeError::outOfMemory();
    } catch (const std::length_error&) {
        throw RuntimeError::outOfMemory();
    }
}

void ServoTrack::checkIndex(qint64 i) const
{
    if (i < 0 || i >= static_cast<qint64>(m_data.size()))
        throw RuntimeError::subscriptOutOfRange();
}

// The slider keeps minimum <= maximum: a new minimum above the maximum takes
// the maximum along (and the other way round), and the value stays inside.
void ServoTrack::setSliderMin(qint32 v)
{
    m_sliderMin = v;
    m_sliderMax = std::max(m_sliderMax.load(), v);
    m_sliderValue = clampToSlider(m_sliderValue);
}

void ServoTrack::setSliderMax(qint32 v)
{
    m_sliderMax = v;
    m_sliderMin = std::min(m_sliderMin.load(), v);
    m_sliderValue = clampToSlider(m_sliderValue);
}

qint32 ServoTrack::clampToSlider(qint32 v) const
{
    const qint32 low = m_sliderMin, high = m_sliderMax;
    // A set-up changed meanwhile on the other thread can leave them crossed
    // for an instant; the slider then holds the value at the lower end.
    return high < low ? low : std::clamp(v, low, high);
}

} // namespace mk
