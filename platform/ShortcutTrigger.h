#pragma once
// The key behind a key name, as the desktop's global-shortcuts portal is
// asked for it: a trigger of the freedesktop shortcuts syntax (modifiers and
// an XKB keysym name joined by "+", e.g. "F9", "SHIFT+5") and the
// virtual-key press that makes the key poll give the name again.

#include <optional>
#include <string>
#include <string_view>

namespace quellora {

struct TKeyStroke {
    std::string trigger;
    int code = 0;       // the virtual-key code the poll reads the name from
    bool shift = false; // the name needs Shift held with it
};

// The key for `name`, or nothing for a name no single key gives: "none", a
// modifier or lock key by itself, a name the poll never produces. A portal
// shortcut is taken away from every application, so a name that the keypad
// shares with the main keyboard ("/", "*", "+", "-", ".", the digits) is the
// keypad key's: the main keyboard keeps its characters for typing.
std::optional<TKeyStroke> KeyStrokeOf(std::string_view name);

} // namespace quellora
