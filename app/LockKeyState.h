// Reads whether Caps Lock, Num Lock and Scroll Lock are on, for the status bar's
// indicators. Qt has no portable way to ask; on X11 the keyboard extension knows, and
// elsewhere (Wayland, offscreen) the state is unknown.
#pragma once

namespace tavrin::app {

struct LockKeyState {
    bool known = false; // false: the platform cannot tell
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

LockKeyState ReadLockKeyState();

} // namespace tavrin::app
