#pragma once
// Which virtual-key code of the US layout an X key stands for.

#include <cstdint>
#include <string_view>

namespace quellora {

// One X keycode as the keymap describes it: the XKB name of its physical
// position ("AC10", "FK13", ... or empty when unknown) and the keysyms of
// its first two levels (0 for none).
struct TXKey {
    std::string_view name;
    std::uint32_t plain = 0;
    std::uint32_t shifted = 0;
};

// The virtual-key code of a keysym, or 0 when it stands for no code.
int VirtualKeyOfKeysym(std::uint32_t keysym);

// The virtual-key code of a physical position of the US keyboard for the
// keys that keep their code whatever the layout (letters, digit row,
// punctuation, function keys), or 0.
int VirtualKeyOfPosition(std::string_view name);

// The code of a key: by its position for the letters, the digit row, the
// punctuation keys and the function keys, so that every layout gives the US
// names; otherwise by its keysym. The keypad gives its digits while NumLock
// is on and its navigation keys while it is off.
int VirtualKeyOf(const TXKey& key, bool numLock);

} // namespace quellora
