#include "Unit4.h"

#include "KeyState.h"

#include <iterator>

namespace quellora {

namespace {

struct TNamedKey {
    int code;
    const char* name;
};

// In scan order; Right comes before Up.
constexpr TNamedKey NamedKeys[] = {
    {8, "<Back>"}, {9, "Tab"},    {13, "\r\n"},    {16, "Shift"},  {17, "Ctrl"}, {18, "Alt"},
    {19, "Pause"}, {27, "ESC"},   {32, " "},       {35, "End"},    {36, "Home"}, {37, "Left"},
    {39, "Right"}, {38, "Up"},    {40, "Down"},    {45, "Insert"}, {106, "*"},   {107, "+"},
    {109, "-"},    {110, "."},    {111, "/"},      {144, "<Num>"}, {20, "<C>"},  {145, "<S>"},
    {46, "Delete"}, {42, "<Print>"},
};

// The US layout's characters, fixed whatever layout is active.
constexpr const char* DigitRowShifted[10] = {")", "!", "@", "#", "$", "%", "^", "&", "*", "("};

struct TOemKey {
    int code;
    const char* plain;
    const char* shifted;
};

constexpr TOemKey OemKeys[] = {
    {186, ";", ":"}, {187, "=", "+"}, {188, ",", "<"},  {189, "-", "_"},
    {190, ".", ">"}, {191, "/", "?"}, {192, "`", "~"},  {219, "[", "{"},
    {220, "\\", "|"}, {221, "]", "}"}, {222, "'", "\""},
};

bool pressed(int code)
{
    return (KeySource().GetAsyncKeyState(code) & KeyPressedBit) != 0;
}

} // namespace

bool ShiftDown()
{
    return KeySource().GetAsyncKeyState(VkShift) != 0;
}

bool CheckOemKey(std::uint32_t code, const std::string& shifted, const std::string& plain,
                 std::string& name)
{
    if (!pressed(int(code)))
        return false;
    name = ShiftDown() ? shifted : plain;
    return true;
}

void PollKeys()
{
    PollKeys(HandleKey);
}

void PollKeys(const std::function<void(const std::string&)>& handle)
{
    KeySource().Drain();
    for (int code = 'A'; code <= 'Z'; ++code)
        if (pressed(code))
            handle(std::string(1, char(code)));
    for (int code = 96; code <= 105; ++code)
        if (pressed(code))
            handle(std::to_string(code - 96));
    for (int code = 112; code <= 135; ++code)
        if (pressed(code))
            handle("F" + std::to_string(code - 111));
    for (int code = '0'; code <= '9'; ++code)
        if (pressed(code))
            handle(ShiftDown() ? DigitRowShifted[code - '0'] : std::to_string(code - '0'));
    for (const TNamedKey& key : NamedKeys)
        if (pressed(key.code))
            handle(key.name);
    std::string name;
    for (const TOemKey& key : OemKeys)
        if (CheckOemKey(std::uint32_t(key.code), key.shifted, key.plain, name))
            handle(name);
}

} // namespace quellora
