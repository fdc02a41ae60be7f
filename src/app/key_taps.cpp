#include "app/key_taps.h"

namespace {

// Printable keys keep their character as keycode (below 128); the others are
// a scancode with SDLK_SCANCODE_MASK set, stored after those.
constexpr int tapSlots = 128 + SDL_NUM_SCANCODES;

struct KeyTaps {
    bool pressed[tapSlots] = {};
    bool withShift[tapSlots] = {};
    bool watching = false;
};

KeyTaps taps;

int tapSlotOf(SDL_Keycode key)
{
    if (key >= 0 && key < 128)
        return key;
    const int scancode = key & ~SDLK_SCANCODE_MASK;
    if ((key & SDLK_SCANCODE_MASK) && scancode >= 0 && scancode < SDL_NUM_SCANCODES)
        return 128 + scancode;
    return -1;
}

// Runs as each event is queued, on the thread that pumps events (the frame
// loop's), before the window's own handling takes it off the queue.
int noteKeyEvent(void*, SDL_Event* event)
{
    if (event->type != SDL_KEYDOWN)
        return 1;
    const int slot = tapSlotOf(event->key.keysym.sym);
    if (slot >= 0) {
        taps.pressed[slot] = true;
        taps.withShift[slot] = (event->key.keysym.mod & KMOD_SHIFT) != 0;
    }
    return 1;
}

} // namespace

void beginKeyTaps()
{
    if (taps.watching)
        return;
    SDL_AddEventWatch(noteKeyEvent, nullptr);
    taps.watching = true;
}

bool takeKeyTap(SDL_Keycode key, bool* withShift)
{
    const int slot = tapSlotOf(key);
    if (slot < 0 || !taps.pressed[slot])
        return false;
    taps.pressed[slot] = false;
    if (withShift)
        *withShift = taps.withShift[slot];
    return true;
}
