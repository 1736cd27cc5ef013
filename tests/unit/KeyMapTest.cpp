// The US-layout virtual-key codes of X keys, and the latch of presses.

#include "KeyMap.h"
#include "KeyState.h"

#include <gtest/gtest.h>

#include <string>

using namespace quellora;

namespace {

int code(const char* name, std::uint32_t plain, std::uint32_t shifted = 0, bool numLock = false)
{
    return VirtualKeyOf(TXKey{std::string_view(name, 4), plain, shifted}, numLock);
}

} // namespace

TEST(KeyMap, LettersGoByTheirPlaceInTheUsLayoutWhateverTheLayoutOrLevel)
{
    // Every letter key of the three rows, as a US keyboard names it.
    const std::pair<const char*, const char*> rows[] = {{"AD", "QWERTYUIOP"}, {"AC", "ASDFGHJKL"}, {"AB", "ZXCVBNM"}};
    for (const auto& [row, letters] : rows)
        for (int i = 0; letters[i]; ++i) {
            const std::string name = std::string(row) + char('0' + (i + 1) / 10) + char('0' + (i + 1) % 10);
            const char lower = char(letters[i] - 'A' + 'a');
            EXPECT_EQ(code(name.c_str(), std::uint32_t(lower), std::uint32_t(letters[i])), letters[i]) << name;
        }
    // A layout that swaps Y and Z: the key in the place of US Y is Y.
    EXPECT_EQ(code("AD06", 'z', 'Z'), 'Y');
    // Russian: Cyrillic ef on the A key, Cyrillic ka on the R key, ya on Z.
    EXPECT_EQ(code("AC01", 0x6c6, 0x6e6), 'A');
    EXPECT_EQ(code("AD04", 0x6cb, 0x6eb), 'R');
    EXPECT_EQ(code("AB01", 0x6d1, 0x6f1), 'Z');
    // Beyond the rows' letters the places are punctuation, not letters.
    EXPECT_EQ(VirtualKeyOfPosition("AC10"), 186);
    EXPECT_EQ(VirtualKeyOfPosition("AB08"), 188);
    EXPECT_EQ(VirtualKeyOfPosition("AD13"), 0);
    EXPECT_EQ(VirtualKeyOfPosition("AB00"), 0);
    // A key without a known place still counts by its letter.
    EXPECT_EQ(code("I255", 'q', 'Q'), 'Q');
    EXPECT_EQ(VirtualKeyOfKeysym('Q'), 'Q');
}

TEST(KeyMap, DigitRowAndPunctuationGoByPosition)
{
    EXPECT_EQ(code("AE01", '1', '!'), '1');
    EXPECT_EQ(code("AE10", '0', ')'), '0');
    // French digit row: the keysym is "&", the key is still 1.
    EXPECT_EQ(code("AE01", '&', '1'), '1');
    const std::pair<const char*, int> oem[] = {
        {"AC10", 186}, {"AE12", 187}, {"AB08", 188}, {"AE11", 189}, {"AB09", 190}, {"AB10", 191},
        {"TLDE", 192}, {"AD11", 219}, {"BKSL", 220}, {"AD12", 221}, {"AC11", 222},
    };
    for (const auto& [name, vk] : oem)
        EXPECT_EQ(code(name, 0x00f6 /* odiaeresis */), vk) << name;
}

TEST(KeyMap, KeysWithoutAKnownPositionGoByKeysym)
{
    // A spare keycode that a test tool bound to a punctuation keysym.
    EXPECT_EQ(code("I255", ';'), 186);
    EXPECT_EQ(code("\0\0\0\0", '"'), 222);
    EXPECT_EQ(code("I255", 0xffc9 /* F12 */), 123);
    EXPECT_EQ(code("I255", 0xffd5 /* F24 */), 135);
}

TEST(KeyMap, FunctionKeysUpToF24ByPosition)
{
    EXPECT_EQ(code("FK01", 0xffbe), 112);
    EXPECT_EQ(code("FK12", 0xffc9), 123);
    // Linux keymaps put launcher keysyms on F13 and up.
    EXPECT_EQ(code("FK13", 0x1008ff81 /* XF86Tools */), 124);
    EXPECT_EQ(code("FK24", 0), 135);
    EXPECT_EQ(VirtualKeyOfPosition("FK25"), 0);
    EXPECT_EQ(VirtualKeyOfPosition("FK00"), 0);
}

TEST(KeyMap, KeypadFollowsNumLock)
{
    // KP_End / KP_1, KP_Begin / KP_5, KP_Delete / KP_Decimal, KP_Insert / KP_0
    EXPECT_EQ(code("KP1\0", 0xff9c, 0xffb1, true), 97);
    EXPECT_EQ(code("KP1\0", 0xff9c, 0xffb1, false), 35);
    EXPECT_EQ(code("KP5\0", 0xff9d, 0xffb5, true), 101);
    EXPECT_EQ(code("KP5\0", 0xff9d, 0xffb5, false), 12);
    EXPECT_EQ(code("KPDL", 0xff9f, 0xffae, true), 110);
    EXPECT_EQ(code("KPDL", 0xff9f, 0xffae, false), 46);
    EXPECT_EQ(code("KP0\0", 0xff9e, 0xffb0, false), 45);
    // Operators are the same on both levels.
    EXPECT_EQ(code("KPMU", 0xffaa, 0xffaa, false), 106);
    EXPECT_EQ(code("KPAD", 0xffab, 0xffab, true), 107);
    EXPECT_EQ(code("KPSU", 0xffad, 0xffad, true), 109);
    EXPECT_EQ(code("KPDV", 0xffaf, 0xffaf, false), 111);
    EXPECT_EQ(code("KPEN", 0xff8d, 0, true), 13);
}

TEST(KeyMap, KeysWithoutACode)
{
    EXPECT_EQ(VirtualKeyOfKeysym(0), 0);
    EXPECT_EQ(VirtualKeyOfKeysym(0x1008ff14 /* XF86AudioPlay */), 0);
    EXPECT_EQ(VirtualKeyOfKeysym(0x00e9 /* eacute */), 0);
    // A key whose first level is empty counts by its second.
    EXPECT_EQ(code("META", 0, 0xffe7 /* Meta_L */), 0);
    EXPECT_EQ(code("LALT", 0, 0xffe9 /* Alt_L */), 18);
}

TEST(KeyLatch, PressedBitLastsUntilTheNextQuery)
{
    TKeyLatch latch;
    EXPECT_EQ(latch.Query('A'), 0);
    latch.Press('A');
    latch.Release('A');
    EXPECT_EQ(latch.Query('A'), KeyPressedBit);
    EXPECT_EQ(latch.Query('A'), 0);
    latch.Press('A');
    EXPECT_EQ(latch.Query('A'), KeyDownBit | KeyPressedBit);
    EXPECT_EQ(latch.Query('A'), KeyDownBit);
    latch.Release('A');
    EXPECT_EQ(latch.Query('A'), 0);
}

TEST(KeyLatch, TwoKeysOfOneCodeStayDownUntilBothAreUp)
{
    TKeyLatch latch;
    latch.Press(16); // left Shift
    latch.Press(16); // right Shift
    latch.Release(16);
    EXPECT_EQ(latch.Query(16), KeyDownBit | KeyPressedBit);
    latch.Release(16);
    latch.Release(16); // a release without its press changes nothing
    EXPECT_EQ(latch.Query(16), 0);
    latch.Press(16);
    EXPECT_EQ(latch.Query(16), KeyDownBit | KeyPressedBit);
}

TEST(KeyLatch, CodesOutsideTheRangeAreIgnored)
{
    TKeyLatch latch;
    for (int code : {0, -1, 256, 1000}) {
        latch.Press(code);
        EXPECT_EQ(latch.Query(code), 0) << code;
    }
}
