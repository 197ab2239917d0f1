#include "platform/Joystick.h"

#include <SDL.h>

#include "platform/SdlStart.h"

#include <algorithm>

namespace mk {

SdlJoystick::SdlJoystick()
{
    // Joystick input needs no video; without /dev/input SDL still comes up and
    // simply reports no devices.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    m_initialised = startSdlSubsystem(SDL_INIT_JOYSTICK);
    // The joystick is polled; nothing drains SDL's event queue, so its
    // events would only pile up there.
    if (m_initialised)
        SDL_JoystickEventState(SDL_IGNORE);
}

SdlJoystick::~SdlJoystick()
{
    if (m_joystick)
        SDL_JoystickClose(static_cast<SDL_Joystick*>(m_joystick));
    if (m_initialised)
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

JoystickReading SdlJoystick::read()
{
    JoystickReading r;
    if (!m_initialised)
        return r;
    SDL_JoystickUpdate();
    auto* js = static_cast<SDL_Joystick*>(m_joystick);
    if (js && !SDL_JoystickGetAttached(js)) {
        SDL_JoystickClose(js);
        js = nullptr;
    }
    if (!js && SDL_NumJoysticks() > 0) {
        js = SDL_JoystickOpen(0);
        if (js)
            SDL_JoystickUpdate();
    }
    m_joystick = js;
    if (!js)
        return r;

    const int axes = SDL_JoystickNumAxes(js);
    if (axes > 0) r.x = axisToReading(SDL_JoystickGetAxis(js, 0));
    if (axes > 1) r.y = axisToReading(SDL_JoystickGetAxis(js, 1));
    if (axes > 2) r.z = axisToReading(SDL_JoystickGetAxis(js, 2));
    const int buttons = std::min(SDL_JoystickNumButtons(js), 32);
    for (int b = 0; b < buttons; ++b)
        if (SDL_JoystickGetButton(js, b))
            r.buttons |= 1u << b;
    return r;
}

} // namespace mk
