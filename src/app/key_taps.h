// Key presses counted one by one, for the windowed build's editing keys: a
// press (or an auto-repeat of a held key) counts once, however many frames
// the key stays down, and remembers whether Shift was held with it. Owns a
// process-wide table filled by an SDL event watch that beginKeyTaps installs.
#pragma once

#include <SDL2/SDL.h>

// Installs the watch once; presses before it are not seen. Call after the
// window exists.
void beginKeyTaps();
// True when the key (SDLK_*, the letter on it) was pressed since the last
// call for it; withShift (optional) then says whether Shift was held with
// the latest press. Every call clears the key's press.
bool takeKeyTap(SDL_Keycode key, bool* withShift = nullptr);
