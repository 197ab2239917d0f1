#pragma once
// The joystick position query: one reading of the first joystick.
#include <QtGlobal>

namespace mk {

/// X, Y and Z span 0..32767 (an SDL axis value v is read as (v + 32768) / 2);
/// bit value 1 of `buttons` is button 1. No joystick reads all zero.
struct JoystickReading {
    quint32 x = 0;
    quint32 y = 0;
    quint32 z = 0;
    quint32 buttons = 0;
};

class Joystick {
public:
    virtual ~Joystick() = default;
    virtual JoystickReading read() = 0;
};

/// No joystick at all: every reading is zero.
class NoJoystick : public Joystick {
public:
    JoystickReading read() override { return {}; }
};

/// A joystick whose reading is set by hand (tests, scripted runs).
class FixedJoystick : public Joystick {
public:
    JoystickReading reading;
    int reads = 0;
    JoystickReading read() override { ++reads; return reading; }
};

/// The first joystick SDL reports, opened on first use and again after it is
/// plugged back in. Must be used from one thread (the user-interface thread).
class SdlJoystick : public Joystick {
public:
    SdlJoystick();
    ~SdlJoystick() override;
    SdlJoystick(const SdlJoystick&) = delete;
    SdlJoystick& operator=(const SdlJoystick&) = delete;

    JoystickReading read() override;
    /// Whether SDL's joystick subsystem came up at all.
    bool available() const { return m_initialised; }

    /// Maps an SDL axis value (-32768..32767) onto 0..32767.
    static quint32 axisToReading(int v) { return static_cast<quint32>((v + 32768) / 2); }

private:
    bool m_initialised = false;
    void* m_joystick = nullptr; // SDL_Joystick*, kept out of this header
};

} // namespace mk
