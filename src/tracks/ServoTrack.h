#pragma once
// The whole state of one servo track, without widgets: the recorded positions,
// the servo's set-up, the joystick calibration, and the state of the track's
// visible slider and Active box. The frame update reads and writes only this,
// so it runs (and is tested) without a screen; NewSlider mirrors it on screen.
#include <QString>
#include <QtGlobal>
#include <array>
#include <atomic>
#include <vector>

#include "platform/Joystick.h"

namespace mk {

/// A field of a track that the show engine's thread and the interface thread
/// may both touch while a show plays (a set-up changed, the slider shown): a
/// relaxed atomic that reads and assigns like a plain value. Each value is
/// read whole; no order between fields is promised, none is needed.
template <typename T>
class Shared {
public:
    Shared(T v = T{}) : m_v(v) {}
    Shared(const Shared& o) : m_v(o.load()) {}
    Shared& operator=(const Shared& o)
    {
        store(o.load());
        return *this;
    }
    Shared& operator=(T v)
    {
        store(v);
        return *this;
    }
    operator T() const { return load(); }
    T load() const { return m_v.load(std::memory_order_relaxed); }
    void store(T v) { m_v.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> m_v;
};

class ServoTrack {
public:
    /// The longest recording a track accepts, in frames (about 925 hours at 30
    /// per second). Asking for more is error 7 (Out of memory) instead of an
    /// attempt to allocate gigabytes.
    static constexpr qint32 kMaxFrames = 100'000'000;
    static constexpr int kNameLength = 32;

    explicit ServoTrack(Joystick& joystick);

    // --- The members other parts of the program use -----------------------

    /// The slider's value, raw (not mirrored). Writing moves the slider; the
    /// slider holds a value outside its range at the nearer bound.
    qint32 position() const { return m_sliderValue; }
    void setPosition(qint32 v);

    bool usesJoystick() const { return m_usesJoystick; }
    /// Stores the flag and shows the indicator of the current channel (or none).
    void setUsesJoystick(bool on);
    qint16 whichJoystickChannel() const { return m_whichJoystickChannel; }
    /// Does not refresh the indicator: callers write usesJoystick afterwards.
    void setWhichJoystickChannel(qint16 channel) { m_whichJoystickChannel = channel; }

    void setStartCalibrationData(bool) { m_calibrationIndex = 0; }
    /// Low then high of channels 0 to 3; from the ninth value on nothing is kept.
    void setCalibrationData(qint16 value);

    void setDataStartPoint(qint32 index) { m_dataCursor = index; }
    /// The data array's upper bound.
    qint32 datalength() const { return static_cast<qint32>(m_data.size()) - 1; }
    /// Resizes the array to 0..n keeping values; maxframe stays. Throws 9 for
    /// n < 0 and 7 for more than kMaxFrames.
    void setDatalength(qint32 n);
    /// The element at the data cursor; the cursor then moves on. Throws 9
    /// outside the array (the cursor then stays).
    qint16 data();
    void setData(qint16 v);

    /// There is one controller type; the stored value has no effect.
    quint8 theDeviceType() const { return 1; }
    void setTheDeviceType(quint8 type) { m_theDeviceType = type; }

    /// Read: the Active box. Write: the playback switch and the box.
    bool playbackEnabled() const { return m_activeChecked; }
    void setPlaybackEnabled(bool on);
    bool recordingEnabled() const { return m_recordingEnabled; }
    void setRecordingEnabled(bool on) { m_recordingEnabled = on; }

    /// The name box's text fitted to exactly 32 characters; it also becomes
    /// the name copy.
    QString servoName();
    /// Fits the name into the copy and puts the whole text into the name box.
    void setServoName(const QString& name);

    bool isReversed() const { return m_isReversed; }
    void setIsReversed(bool on) { m_isReversed = on; }

    qint16 maxValue() const { return m_maxValue; }
    /// Ignored unless v > minValue; then the slider's maximum follows.
    void setMaxValue(qint16 v);
    qint16 minValue() const { return m_minValue; }
    /// Ignored unless v < maxValue; then the slider's minimum follows.
    void setMinValue(qint16 v);

    qint32 maxframe() const { return m_maxframe; }
    /// Resizes the array to 0..n keeping values. Throws 9 for n < 0 and 7 for
    /// more than kMaxFrames; then nothing changes.
    void setMaxframe(qint32 n);

    /// The position prepared by the last frame update; the read empties it.
    QString serialPortString();
    /// The same position as a number, for the frame loop, which must not
    /// allocate: the read empties it too. Throws 13 (Type mismatch) when it is
    /// empty, as the empty text converts to no number.
    qint32 takeOutput();

    qint16 whichservo() const { return m_whichservo; }
    void setWhichservo(qint16 n) { m_whichservo = n; }

    /// One frame update. Throws mk::RuntimeError (6, 7, 9, 11); a failed
    /// update changes nothing but possibly the array's size.
    void setCurrentFrame(qint32 f);

    /// Erases the recording: array 0..1 = {0, 128}, maxframe 0, slider 128..129
    /// at 128. minValue and maxValue stay.
    void clearTheArray();

    // --- The visible parts and the user's input ----------------------------

    qint32 sliderMin() const { return m_sliderMin; }
    qint32 sliderMax() const { return m_sliderMax; }
    qint32 sliderValue() const { return m_sliderValue; }

    /// A mouse button is down on the slider.
    bool sliderHeld() const { return m_sliderHeld; }
    void setSliderHeld(bool held) { m_sliderHeld = held; }

    bool activeChecked() const { return m_activeChecked; }
    /// The user ticks or clears the Active box. Clearing makes the track
    /// inactive at once; ticking leaves the playback switch as it was.
    void setActiveChecked(bool checked) { m_activeChecked = checked; }
    bool playbackSwitch() const { return m_playbackSwitch; }

    /// The index of the one joystick indicator shown, or -1 for none.
    int visibleIndicator() const { return m_visibleIndicator; }

    /// The name box's text as the user left it (any length).
    const QString& nameBoxText() const { return m_nameBoxText; }
    void setNameBoxText(const QString& text) { m_nameBoxText = text; }

    // --- Read-outs for the set-up dialog and tests --------------------------

    qint16 calibrationLow(int channel) const { return m_calLow.at(channel); }
    qint16 calibrationHigh(int channel) const { return m_calHigh.at(channel); }
    qint32 dataCursor() const { return m_dataCursor; }
    qint32 lastFrame() const { return m_lastFrame; }
    /// Element i of the recording; throws 9 outside the array.
    qint16 at(qint32 i) const;
    /// The whole recording, for views and the take history (read only).
    const std::vector<qint16>& recording() const { return m_data; }

    /// The joystick mapping: the slider value a reading r stands for, with the
    /// slider's range sliderMin..sliderMax and the channel's calibration
    /// low..high. Not clamped. Throws 6 when range, span or product do not fit
    /// their 16/32 bits, 11 for a span of 0.
    static qint32 mapJoystick(qint32 sliderMin, qint32 sliderMax, quint32 r, qint16 low, qint16 high);

private:
    void resizeData(qint32 upperBound);
    void checkIndex(qint64 i) const;
    void setSliderMin(qint32 v);
    void setSliderMax(qint32 v);
    qint32 clampToSlider(qint32 v) const;

    Joystick& m_joystick;

    std::vector<qint16> m_data = std::vector<qint16>(2, 0);
    Shared<bool> m_isReversed = false;
    Shared<bool> m_playbackSwitch = false;
    Shared<bool> m_recordingEnabled = false;
    QString m_nameCopy;
    Shared<qint16> m_maxValue = qint16(129);
    Shared<qint16> m_minValue = qint16(127);
    Shared<qint32> m_maxframe = 0;
    // serialPortString as a number; empty once read until the next update.
    qint32 m_output = 0;
    bool m_hasOutput = true;
    qint16 m_whichservo = 0;
    Shared<bool> m_sliderHeld = false;
    quint8 m_theDeviceType = 0;
    Shared<bool> m_usesJoystick = false;
    Shared<qint16> m_whichJoystickChannel = qint16(0);
    qint16 m_calibrationIndex = 0;
    std::array<Shared<qint16>, 4> m_calHigh{qint16(32767), qint16(32767), qint16(32767), qint16(32767)};
    std::array<Shared<qint16>, 4> m_calLow{qint16(0), qint16(0), qint16(0), qint16(0)};
    qint32 m_dataCursor = 0;
    qint32 m_lastFrame = 0;

    // The slider, the Active box, the name box and the indicators as shown.
    Shared<qint32> m_sliderMin = 127;
    Shared<qint32> m_sliderMax = 129;
    Shared<qint32> m_sliderValue = 128;
    Shared<bool> m_activeChecked = false;
    QString m_nameBoxText = QStringLiteral("Servo Name");
    Shared<int> m_visibleIndicator = -1;
};

} // namespace mk
