// The key poll's names and scan order on a scripted key state.

#include "ScriptedKeySource.h"
#include "ShortcutTrigger.h"
#include "Unit4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

using namespace quellora;

namespace {

class KeyPoll : public testing::Test {
protected:
    void SetUp() override { SetKeySource(&keys); }
    void TearDown() override { SetKeySource(nullptr); }

    std::vector<std::string> poll()
    {
        std::vector<std::string> names;
        PollKeys([&](const std::string& name) { names.push_back(name); });
        return names;
    }
    // The names of one key tapped alone, with or without Shift held.
    std::string nameOf(int code, bool shift = false)
    {
        if (shift) {
            keys.Press(16);
            poll(); // Shift's own press
        }
        keys.Tap(code);
        std::vector<std::string> names = poll();
        if (shift) {
            keys.Release(16);
            poll();
        }
        return names.size() == 1 ? names[0] : "<" + std::to_string(names.size()) + " names>";
    }

    TScriptedKeySource keys;
};

} // namespace

TEST_F(KeyPoll, LettersIgnoreShift)
{
    for (int code = 'A'; code <= 'Z'; ++code) {
        EXPECT_EQ(nameOf(code), std::string(1, char(code)));
        EXPECT_EQ(nameOf(code, true), std::string(1, char(code)));
    }
}

TEST_F(KeyPoll, KeypadDigitsAndFunctionKeys)
{
    for (int n = 0; n <= 9; ++n) {
        EXPECT_EQ(nameOf(96 + n), std::to_string(n));
        EXPECT_EQ(nameOf(96 + n, true), std::to_string(n));
    }
    for (int n = 1; n <= 24; ++n)
        EXPECT_EQ(nameOf(111 + n), "F" + std::to_string(n));
}

TEST_F(KeyPoll, DigitRowTakesTheUsSymbolsWithShift)
{
    const char* shifted[] = {")", "!", "@", "#", "$", "%", "^", "&", "*", "("};
    for (int n = 0; n <= 9; ++n) {
        EXPECT_EQ(nameOf('0' + n), std::to_string(n));
        EXPECT_EQ(nameOf('0' + n, true), shifted[n]);
    }
}

TEST_F(KeyPoll, NamedKeys)
{
    const std::pair<int, std::string> named[] = {
        {8, "<Back>"}, {9, "Tab"},     {13, "\r\n"},  {16, "Shift"},  {17, "Ctrl"},  {18, "Alt"},
        {19, "Pause"}, {27, "ESC"},    {32, " "},     {35, "End"},    {36, "Home"},  {37, "Left"},
        {39, "Right"}, {38, "Up"},     {40, "Down"},  {45, "Insert"}, {106, "*"},    {107, "+"},
        {109, "-"},    {110, "."},     {111, "/"},    {144, "<Num>"}, {20, "<C>"},   {145, "<S>"},
        {46, "Delete"}, {42, "<Print>"},
    };
    for (const auto& [code, name] : named) {
        EXPECT_EQ(nameOf(code), name) << code;
        if (code != 16) {
            EXPECT_EQ(nameOf(code, true), name) << code;
        }
    }
}

TEST_F(KeyPoll, PunctuationByShift)
{
    const std::tuple<int, std::string, std::string> oem[] = {
        {186, ";", ":"}, {187, "=", "+"},  {188, ",", "<"}, {189, "-", "_"},
        {190, ".", ">"}, {191, "/", "?"},  {192, "`", "~"}, {219, "[", "{"},
        {220, "\\", "|"}, {221, "]", "}"}, {222, "'", "\""},
    };
    for (const auto& [code, plain, shifted] : oem) {
        EXPECT_EQ(nameOf(code), plain) << code;
        EXPECT_EQ(nameOf(code, true), shifted) << code;
    }
}

TEST_F(KeyPoll, UnscannedKeysGiveNothing)
{
    // Page Up, Page Down, Print Screen, keypad separator, left/right modifiers, Windows keys.
    for (int code : {33, 34, 44, 108, 160, 161, 162, 163, 164, 165, 91, 92, 93, 1, 2, 12}) {
        keys.Tap(code);
        EXPECT_TRUE(poll().empty()) << code;
    }
}

TEST_F(KeyPoll, KeysPressedBetweenTwoTicksComeInScanOrder)
{
    for (int code : {187, 13, 112, 53, int('Z'), int('B'), 96, 37, 39, 38})
        keys.Tap(code);
    const std::vector<std::string> expected = {"B", "Z", "0", "F1", "5", "\r\n", "Left", "Right", "Up", "="};
    EXPECT_EQ(poll(), expected);
    EXPECT_TRUE(poll().empty()) << "a press is reported once";
}

TEST_F(KeyPoll, ShiftTappedBeforeADigitInTheSameTickCounts)
{
    // Shift went down and up between two ticks: its pressed bit still shifts the digit.
    keys.Tap(16);
    keys.Tap('8');
    EXPECT_EQ(poll(), std::vector<std::string>{"*"});
}

TEST_F(KeyPoll, HeldKeyIsReportedOnlyForItsPress)
{
    keys.Hold('K');
    EXPECT_EQ(poll(), std::vector<std::string>{"K"});
    EXPECT_TRUE(poll().empty());
    keys.Release('K');
    keys.Press('K');
    EXPECT_EQ(poll(), std::vector<std::string>{"K"});
}

TEST_F(KeyPoll, EveryCodeIsQueriedOncePerPassAfterTheDrain)
{
    poll();
    EXPECT_EQ(keys.Drains, 1);
    std::vector<int> queried = keys.Queries;
    EXPECT_EQ(queried.size(), 107u);
    std::sort(queried.begin(), queried.end());
    EXPECT_EQ(std::adjacent_find(queried.begin(), queried.end()), queried.end());
    EXPECT_EQ(std::count(queried.begin(), queried.end(), 33), 0);
    EXPECT_EQ(std::count(queried.begin(), queried.end(), 44), 0);

    // A pressed digit-row or punctuation key adds one Shift query each.
    keys.Queries.clear();
    keys.Tap('3');
    keys.Tap(191);
    poll();
    EXPECT_EQ(keys.Queries.size(), 109u);
    EXPECT_EQ(std::count(keys.Queries.begin(), keys.Queries.end(), 16), 3);
}

TEST_F(KeyPoll, CheckOemKeyLeavesTheNameAloneWhenNotPressed)
{
    std::string name = "kept";
    EXPECT_FALSE(CheckOemKey(186, ":", ";", name));
    EXPECT_EQ(name, "kept");
    keys.Tap(186);
    keys.Drain();
    EXPECT_TRUE(CheckOemKey(186, ":", ";", name));
    EXPECT_EQ(name, ";");
}

TEST_F(KeyPoll, ShiftDownWhileHeldOrPressedSinceLastQuery)
{
    EXPECT_FALSE(ShiftDown());
    keys.Tap(16);
    keys.Drain();
    EXPECT_TRUE(ShiftDown());
    EXPECT_FALSE(ShiftDown());
    keys.Hold(16);
    keys.Drain();
    EXPECT_TRUE(ShiftDown());
    EXPECT_TRUE(ShiftDown());
}

// In a Wayland session the desktop's portal is asked for each settings key
// by a trigger of the shortcuts syntax, and a fired shortcut stands for the
// press of its key: the poll reads the name back from it.
TEST_F(KeyPoll, SettingsNamesAsShortcutTriggers)
{
    std::istringstream names("Insert Delete Home End Ctrl Alt Tab 0 1 2 3 4 5 6 7 8 9 A B C D E F G H I J K L M N O P "
                             "R S T V W X Y Z / * - + F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12");
    // A modifier alone ("-") is no shortcut. The keypad's keys stand for
    // the names it shares with the main keyboard, which keeps them for typing.
    std::istringstream triggers("Insert Delete Home End - - Tab KP_0 KP_1 KP_2 KP_3 KP_4 KP_5 KP_6 KP_7 KP_8 KP_9 "
                                "a b c d e f g h i j k l m n o p r s t v w x y z KP_Divide KP_Multiply "
                                "KP_Subtract KP_Add F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12");
    int count = 0;
    for (std::string name, trigger; names >> name && triggers >> trigger; ++count) {
        const std::optional<TKeyStroke> stroke = KeyStrokeOf(name);
        if (trigger == "-") {
            EXPECT_FALSE(stroke) << name;
            continue;
        }
        ASSERT_TRUE(stroke) << name;
        EXPECT_EQ(stroke->trigger, trigger);
        EXPECT_FALSE(stroke->shift) << name;
        EXPECT_EQ(nameOf(stroke->code), name) << trigger;
    }
    EXPECT_EQ(count, 57);
}

TEST_F(KeyPoll, PollNamesOutsideTheSettingsAsShortcutTriggers)
{
    const std::pair<std::string, std::string> triggers[] = {
        {"%", "SHIFT+5"},    {")", "SHIFT+0"},       {":", "SHIFT+semicolon"}, {"\"", "SHIFT+apostrophe"},
        {"_", "SHIFT+minus"}, {"=", "equal"},        {"`", "grave"},           {".", "KP_Decimal"},
        {"\r\n", "Return"}, {" ", "space"},          {"ESC", "Escape"},        {"<Back>", "BackSpace"},
        {"Q", "q"},          {"F24", "F24"},         {"Pause", "Pause"},       {"Up", "Up"},
    };
    for (const auto& [name, trigger] : triggers) {
        const std::optional<TKeyStroke> stroke = KeyStrokeOf(name);
        ASSERT_TRUE(stroke) << name;
        EXPECT_EQ(stroke->trigger, trigger);
        EXPECT_EQ(nameOf(stroke->code, stroke->shift), name) << trigger;
    }
    // No key, a modifier or a lock by itself, or a name the poll never gives.
    for (const char* name : {"none", "", "CTRL", "Shift", "<Num>", "<C>", "<S>", "<Print>", "F0", "F25", "F1x", "a", "AB"})
        EXPECT_FALSE(KeyStrokeOf(name)) << name;
}
