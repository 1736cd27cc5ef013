#pragma once
// The key state of an X server, read from XInput2 raw key events on a
// private connection. No key is grabbed: the focused client still gets its
// keys, and the player sees them all the same.

#include "KeyState.h"

#include <memory>

namespace quellora {

// Opens the display (nullptr: $DISPLAY). Returns nullptr when there is no
// display or it lacks XInput 2.1 or later.
std::unique_ptr<TKeySource> OpenXKeySource(const char* displayName = nullptr);

} // namespace quellora
