#pragma once
// Every SDL subsystem the program uses is started through here.
#include <SDL.h>

namespace mk {

/// Starts one SDL subsystem; true when it came up. SDL is kept off SIGINT and
/// SIGTERM, which it would otherwise turn into quit events that no one reads,
/// so the program could not be stopped from outside.
inline bool startSdlSubsystem(Uint32 subsystem)
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(subsystem) == 0;
}

} // namespace mk
