// Keys pressed anywhere drive the player through the settings' bindings:
// the poll on a scripted key state, the real windows, a scripted device.

#include "AppFixture.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "RandomIndex.h"
#include "ScriptedKeySource.h"
#include "ScriptedMciLayer.h"
#include "Timer.h"
#include "Unit4.h"

using namespace quellora;
using namespace quellora::test;

namespace {

constexpr int VkControl = 17;

class Hotkeys : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        SetKeySource(&keys);
        SetMciLayer(mci);
        SetRandSeed(0);
    }

    void TearDown() override
    {
        AppFixture::TearDown();
        SetMciLayer(nullptr);
        SetKeySource(nullptr);
    }

    // Starts the program with `count` items and these bindings in Config.ini
    // (random play off, so that nothing else draws from the generator).
    void Start(int count, const std::string& keysSection =
                              "Random=R\r\nLasT=L\r\nPauseResume=P\r\nNext=N\r\nStop=S\r\nExit=X\r\n"
                              "VolumePlus=+\r\nVolumeMinus=-\r\n")
    {
        ASSERT_NO_FATAL_FAILURE(InstallSkin());
        std::string list;
        for (int i = 0; i < count; ++i)
            list += Item(i) + "\r\n";
        WriteBytes(exeDir.file("Default.qfl"), list);
        WriteBytes(exeDir.file("Config.ini"), "[Keys]\r\n" + keysSection + "[Other]\r\nPlayrandom=no\r\n");
        CreateForms();
        ShowMainWindow();
        ASSERT_EQ(Form1->Mp3LisT()->Items().Count(), count);
    }

    static std::string Item(int i) { return "/music/item " + std::to_string(i) + ".mp3"; }

    // One key pressed and released between two ticks.
    void Key(int code)
    {
        keys.Tap(code);
        PollKeys();
    }

    // The element of the one open device, "" when none is open.
    std::string OpenFile() const
    {
        if (mci->Devices.size() != 1)
            return mci->Devices.empty() ? "" : "<several devices>";
        return mci->Devices.begin()->second.Element;
    }

    std::uint32_t Mode() const { return mci->Devices.empty() ? 0 : mci->Devices.begin()->second.Mode; }
    std::size_t Sent(std::uint32_t command) const { return mci->CallsOf(command).size(); }
    const std::string& Status() const { return Form1->StatusLine(); }
    TMediaPlayer& Player() const { return *Form1->PLayer; }

    TScriptedKeySource keys;
    std::shared_ptr<TScriptedMciLayer> mci = std::make_shared<TScriptedMciLayer>();
};

} // namespace

TEST_F(Hotkeys, RandomPicksComeFromTheSharedGeneratorAndLeaveTheSelection)
{
    Start(10);
    std::vector<std::string> opened;
    for (int i = 0; i < 6; ++i) {
        Key('R');
        opened.push_back(OpenFile());
        EXPECT_EQ(Status(), "Playing <" + OpenFile() + ">");
        EXPECT_EQ(Mode(), MCI_MODE_PLAY);
    }
    const std::vector<std::string> expected = {Item(0), Item(0), Item(8), Item(2), Item(2), Item(6)};
    EXPECT_EQ(opened, expected);
    EXPECT_EQ(Form1->Mp3LisT()->ItemIndex(), -1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Hotkeys, RandomKeyOnAnEmptyListDoesNothing)
{
    Start(0);
    Key('R');
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(RandSeed(), 0u) << "the generator was drawn from";
}

TEST_F(Hotkeys, FirstBindingInDispatchOrderWins)
{
    // R starts random files and also stops; P pauses and also exits.
    Start(3, "Random=R\r\nStop=R\r\nPauseResume=P\r\nExit=P\r\nNext=none\r\nLasT=none\r\n");
    Key('R');
    Key('R');
    EXPECT_EQ(Status(), "Playing <" + Item(0) + ">");
    EXPECT_EQ(Sent(MCI_STOP), 0u);
    Key('P');
    EXPECT_EQ(Status(), "Pause <" + Item(0) + ">");
    EXPECT_FALSE(Application().Terminated());
    // "none" is no key, and a name bound to nothing does nothing.
    mci->Calls.clear();
    for (int code : {int('N'), int('L'), int('Q'), 112, 13})
        Key(code);
    EXPECT_TRUE(mci->Calls.empty());
}

TEST_F(Hotkeys, PauseKeyTogglesTheFileThePlayerHolds)
{
    Start(3);
    Key('R');
    const std::string file = Player().FileName;
    Key('P');
    EXPECT_EQ(Status(), "Pause <" + file + ">");
    EXPECT_EQ(Mode(), MCI_MODE_PAUSE);
    Key('P');
    EXPECT_EQ(Status(), "Playing <" + file + ">");
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
}

TEST_F(Hotkeys, PauseKeyOnAStatusNamingAnotherFileDoesNothing)
{
    Start(3);
    Key('R');
    Form1->SetStatusLine("Playing <" + Item(2) + ">");
    mci->Calls.clear();
    Key('P');
    EXPECT_EQ(Status(), "Playing <" + Item(2) + ">");
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
}

TEST_F(Hotkeys, StopAndExitWithAnEmptyStatusLineTouchNoDevice)
{
    Start(3);
    Key('S');
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_FALSE(Application().Terminated());
    Key('X');
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_TRUE(Application().Terminated());
}

TEST_F(Hotkeys, StopKeepsTheDeviceOpenAndExitStopsFirst)
{
    Start(3);
    Key('R');
    Key('S');
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(Mode(), MCI_MODE_STOP);
    EXPECT_EQ(OpenFile(), Item(0));
    Key('R');
    const std::size_t stops = Sent(MCI_STOP);
    Key('X');
    EXPECT_EQ(Sent(MCI_STOP), stops + 1);
    EXPECT_TRUE(Application().Terminated());
}

TEST_F(Hotkeys, FailuresEndTheActionQuietly)
{
    Start(3);
    // A status line without an open device: pause, stop and exit all fail.
    Form1->SetStatusLine("Playing <" + Player().FileName + ">");
    Key('P');
    Key('S');
    EXPECT_EQ(Status(), "Playing <>");
    Key('X');
    EXPECT_FALSE(Application().Terminated()) << "the exit key ended the program although stopping failed";
    // A file that cannot be opened.
    mci->OpenErrors[Item(0)] = 275; // file not found
    Key('N');
    EXPECT_EQ(OpenFile(), "");
    EXPECT_EQ(Status(), "") << "a failed start leaves the player idle";
    EXPECT_TRUE(boxes.empty()) << "a key ended in an error report";
}

TEST_F(Hotkeys, VolumeStepsStopAtTheirBounds)
{
    Start(3);
    Key('R');
    SetVolume(Player(), 1000);
    Key(107); // keypad +
    EXPECT_EQ(GetVolume(Player()), 1000);
    for (int i = 0; i < 11; ++i)
        Key(109); // keypad -
    EXPECT_EQ(GetVolume(Player()), 0);
    keys.Hold(16);
    Key(187); // Shift with "=" is "+" as well
    keys.Release(16);
    EXPECT_EQ(GetVolume(Player()), 100);
}

TEST_F(Hotkeys, NextAndPreviousJoinTheEndsOfTheList)
{
    Start(3);
    TListBox* list = Form1->Mp3LisT();
    const auto step = [&](int code) {
        Key(code);
        EXPECT_EQ(Status(), "Playing <" + OpenFile() + ">");
        return std::make_pair(list->ItemIndex(), OpenFile());
    };
    // From no selection, next plays the first item and previous the last.
    EXPECT_EQ(step('N'), std::make_pair(0, Item(0)));
    list->SetItemIndex(-1);
    EXPECT_EQ(step('L'), std::make_pair(2, Item(2)));
    // Past the last comes the first, before the first the last.
    EXPECT_EQ(step('N'), std::make_pair(0, Item(0)));
    EXPECT_EQ(step('L'), std::make_pair(2, Item(2)));
    EXPECT_EQ(step('L'), std::make_pair(1, Item(1)));
    EXPECT_EQ(step('N'), std::make_pair(2, Item(2)));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(RandSeed(), 0u);
}

TEST_F(Hotkeys, ControlKeyFiresTheSettingsName)
{
    Start(3, "Random=ctrl\r\n");
    Key(VkControl);
    EXPECT_EQ(Status(), "Playing <" + Item(0) + ">");
}

TEST_F(Hotkeys, TheTickRunsThePollFirst)
{
    Start(3);
    keys.Tap('R');
    keys.Drains = 0;
    Form1->GeT->OnTimer();
    EXPECT_EQ(keys.Drains, 1);
    EXPECT_EQ(Status(), "Playing <" + Item(0) + ">");
}
