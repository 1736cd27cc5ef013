#include "KeyMap.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quellora {

namespace {

// Keysym values from X11/keysymdef.h, kept here so that the table can be
// read and tested without the X headers.
constexpr std::pair<std::uint32_t, int> NamedKeysyms[] = {
    {0xff08, 8},   // BackSpace
    {0xff09, 9},   // Tab
    {0xfe20, 9},   // ISO_Left_Tab (Shift+Tab)
    {0xff0d, 13},  // Return
    {0xff8d, 13},  // KP_Enter
    {0xffe1, 16},  // Shift_L
    {0xffe2, 16},  // Shift_R
    {0xffe3, 17},  // Control_L
    {0xffe4, 17},  // Control_R
    {0xffe9, 18},  // Alt_L
    {0xffea, 18},  // Alt_R
    {0xfe03, 18},  // ISO_Level3_Shift (AltGr is the right Alt key)
    {0xff13, 19},  // Pause
    {0xffe5, 20},  // Caps_Lock
    {0xff1b, 27},  // Escape
    {0x0020, 32},  // space
    {0xff80, 32},  // KP_Space
    {0xff55, 33},  // Prior
    {0xff9a, 33},  // KP_Prior
    {0xff56, 34},  // Next
    {0xff9b, 34},  // KP_Next
    {0xff57, 35},  // End
    {0xff9c, 35},  // KP_End
    {0xff50, 36},  // Home
    {0xff95, 36},  // KP_Home
    {0xff51, 37},  // Left
    {0xff96, 37},  // KP_Left
    {0xff52, 38},  // Up
    {0xff97, 38},  // KP_Up
    {0xff53, 39},  // Right
    {0xff98, 39},  // KP_Right
    {0xff54, 40},  // Down
    {0xff99, 40},  // KP_Down
    {0xff9d, 12},  // KP_Begin (keypad 5 without NumLock: VK_CLEAR)
    {0xff61, 44},  // Print (the Print Screen key)
    {0xff63, 45},  // Insert
    {0xff9e, 45},  // KP_Insert
    {0xffff, 46},  // Delete
    {0xff9f, 46},  // KP_Delete
    {0xffeb, 91},  // Super_L
    {0xffec, 92},  // Super_R
    {0xff67, 93},  // Menu
    {0xffaa, 106}, // KP_Multiply
    {0xffab, 107}, // KP_Add
    {0xffac, 108}, // KP_Separator
    {0xffad, 109}, // KP_Subtract
    {0xffae, 110}, // KP_Decimal
    {0xffaf, 111}, // KP_Divide
    {0xff7f, 144}, // Num_Lock
    {0xff14, 145}, // Scroll_Lock
};

// Printable keysyms equal their ASCII character; these are the US layout's
// characters on the digit row and the punctuation keys, both levels.
constexpr std::pair<char, int> CharacterKeys[] = {
    {')', 48},  {'!', 49},  {'@', 50},  {'#', 51},  {'$', 52},  {'%', 53},  {'^', 54},
    {'&', 55},  {'*', 56},  {'(', 57},  {';', 186}, {':', 186}, {'=', 187}, {'+', 187},
    {',', 188}, {'<', 188}, {'-', 189}, {'_', 189}, {'.', 190}, {'>', 190}, {'/', 191},
    {'?', 191}, {'`', 192}, {'~', 192}, {'[', 219}, {'{', 219}, {'\\', 220}, {'|', 220},
    {']', 221}, {'}', 221}, {'\'', 222}, {'"', 222},
};

constexpr std::pair<std::string_view, int> Positions[] = {
    {"AE01", '1'}, {"AE02", '2'}, {"AE03", '3'}, {"AE04", '4'}, {"AE05", '5'},
    {"AE06", '6'}, {"AE07", '7'}, {"AE08", '8'}, {"AE09", '9'}, {"AE10", '0'},
    {"AC10", 186}, {"AE12", 187}, {"AB08", 188}, {"AE11", 189}, {"AB09", 190},
    {"AB10", 191}, {"TLDE", 192}, {"AD11", 219}, {"BKSL", 220}, {"AD12", 221},
    {"AC11", 222},
};

// The letters of the US layout's three letter rows, by position: AD01 is Q,
// AC01 is A, AB01 is Z.
constexpr std::string_view LetterRows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
constexpr std::string_view LetterRowNames[] = {"AD", "AC", "AB"};

int letterOfPosition(std::string_view name)
{
    if (name.size() != 4 || name[2] < '0' || name[2] > '9' || name[3] < '0' || name[3] > '9')
        return 0;
    const std::size_t n = std::size_t((name[2] - '0') * 10 + (name[3] - '0'));
    for (std::size_t row = 0; row < std::size(LetterRows); ++row)
        if (name.substr(0, 2) == LetterRowNames[row] && n >= 1 && n <= LetterRows[row].size())
            return LetterRows[row][n - 1];
    return 0;
}

constexpr std::uint32_t KeypadFirst = 0xff80;
constexpr std::uint32_t KeypadLast = 0xffbd;

bool isKeypad(std::uint32_t keysym)
{
    return keysym >= KeypadFirst && keysym <= KeypadLast;
}

} // namespace

int VirtualKeyOfKeysym(std::uint32_t keysym)
{
    if (keysym >= 'a' && keysym <= 'z')
        return int(keysym - 'a' + 'A');
    if ((keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9'))
        return int(keysym);
    if (keysym >= 0xffb0 && keysym <= 0xffb9) // KP_0 .. KP_9
        return int(keysym - 0xffb0 + 96);
    if (keysym >= 0xffbe && keysym <= 0xffd5) // F1 .. F24
        return int(keysym - 0xffbe + 112);
    for (const auto& [sym, code] : NamedKeysyms)
        if (sym == keysym)
            return code;
    for (const auto& [ch, code] : CharacterKeys)
        if (std::uint32_t(static_cast<unsigned char>(ch)) == keysym)
            return code;
    return 0;
}

int VirtualKeyOfPosition(std::string_view name)
{
    // XKB pads names shorter than four characters with NULs.
    name = name.substr(0, std::min(name.find('\0'), name.size()));
    for (const auto& [position, code] : Positions)
        if (position == name)
            return code;
    if (const int letter = letterOfPosition(name))
        return letter;
    // FK01 .. FK24
    if (name.size() == 4 && name.substr(0, 2) == "FK" && name[2] >= '0' && name[2] <= '2' &&
        name[3] >= '0' && name[3] <= '9') {
        const int n = (name[2] - '0') * 10 + (name[3] - '0');
        if (n >= 1 && n <= 24)
            return 111 + n;
    }
    return 0;
}

int VirtualKeyOf(const TXKey& key, bool numLock)
{
    if (const int code = VirtualKeyOfPosition(key.name))
        return code;
    std::uint32_t keysym = key.plain ? key.plain : key.shifted;
    if (numLock && isKeypad(key.plain) && isKeypad(key.shifted))
        keysym = key.shifted;
    return VirtualKeyOfKeysym(keysym);
}

} // namespace quellora
