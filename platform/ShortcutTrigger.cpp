#include "ShortcutTrigger.h"

#include <utility>

namespace quellora {

namespace {

struct TNamedStroke {
    std::string_view name;
    std::string_view keysym;
    int code;
    bool shift = false;
};

// The names the poll gives for keys other than letters, digits and function
// keys, with the keysym of the key that gives each and its virtual-key code.
// Shifted names are the unshifted key's keysym with Shift, as the poll reads
// them; the modifiers, the locks and "<Print>" (no key of ours gives it) are
// left out.
constexpr TNamedStroke NamedStrokes[] = {
    {"<Back>", "BackSpace", 8},       {"Tab", "Tab", 9},
    {"\r\n", "Return", 13},           {"Pause", "Pause", 19},
    {"ESC", "Escape", 27},            {" ", "space", 32},
    {"End", "End", 35},               {"Home", "Home", 36},
    {"Left", "Left", 37},             {"Right", "Right", 39},
    {"Up", "Up", 38},                 {"Down", "Down", 40},
    {"Insert", "Insert", 45},         {"Delete", "Delete", 46},
    {"*", "KP_Multiply", 106},        {"+", "KP_Add", 107},
    {"-", "KP_Subtract", 109},        {".", "KP_Decimal", 110},
    {"/", "KP_Divide", 111},          {";", "semicolon", 186},
    {":", "semicolon", 186, true},    {"=", "equal", 187},
    {",", "comma", 188},              {"<", "comma", 188, true},
    {"_", "minus", 189, true},        {">", "period", 190, true},
    {"?", "slash", 191, true},        {"`", "grave", 192},
    {"~", "grave", 192, true},        {"[", "bracketleft", 219},
    {"{", "bracketleft", 219, true},  {"\\", "backslash", 220},
    {"|", "backslash", 220, true},    {"]", "bracketright", 221},
    {"}", "bracketright", 221, true}, {"'", "apostrophe", 222},
    {"\"", "apostrophe", 222, true},
};

// The digit row with Shift, from 0 to 9 ("*" is the keypad's, above).
constexpr std::string_view DigitRowShifted = ")!@#$%^&*(";

TKeyStroke stroke(std::string trigger, int code, bool shift = false)
{
    return TKeyStroke{shift ? "SHIFT+" + trigger : std::move(trigger), code, shift};
}

} // namespace

std::optional<TKeyStroke> KeyStrokeOf(std::string_view name)
{
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z')
        return stroke(std::string(1, char(name[0] - 'A' + 'a')), name[0]);
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9')
        return stroke("KP_" + std::string(name), 96 + (name[0] - '0'));
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F' && name[1] >= '1' && name[1] <= '9') {
        int n = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            n = n * 10 + (c - '0');
        }
        if (n >= 1 && n <= 24)
            return stroke(std::string(name), 111 + n);
        return std::nullopt;
    }
    for (const TNamedStroke& named : NamedStrokes)
        if (named.name == name)
            return stroke(std::string(named.keysym), named.code, named.shift);
    if (name.size() == 1)
        if (const std::size_t digit = DigitRowShifted.find(name[0]); digit != std::string_view::npos)
            return stroke(std::to_string(digit), '0' + int(digit), true);
    return std::nullopt;
}

} // namespace quellora
