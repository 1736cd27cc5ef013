// The main window's player on a scripted device: the volume steps, ExiT
// stopping the device, and closing the window freeing the player.

#include "AppFixture.h"
#include "MPlayer.h"
#include "ScriptedMciLayer.h"

using namespace quellora;
using namespace quellora::test;

namespace {

class PlayerDevice : public AppFixture {
protected:
    std::shared_ptr<TScriptedMciLayer> mci = std::make_shared<TScriptedMciLayer>();

    void SetUp() override
    {
        AppFixture::SetUp();
        SetMciLayer(mci);
        InstallSkin();
        CreateForms();
    }

    void TearDown() override
    {
        AppFixture::TearDown();
        SetMciLayer(nullptr);
    }

    void openSong()
    {
        Form1->PLayer->FileName = "/music/song.mp3";
        Form1->PLayer->Open();
        mci->Calls.clear();
    }

    std::uint32_t& volume() { return mci->Find(Form1->PLayer->MciDevice())->Volume; }
};

TEST_F(PlayerDevice, ThePlayerIsHiddenAndUsesTheInstalledDevice)
{
    ShowMainWindow();
    ASSERT_NE(Form1->PLayer, nullptr);
    EXPECT_FALSE(Form1->PLayer->isVisible());
    EXPECT_EQ(&Form1->PLayer->Layer(), mci.get());
    EXPECT_FALSE(Form1->PLayer->DeviceOpen());
    EXPECT_TRUE(mci->Calls.empty());
}

TEST_F(PlayerDevice, VolumeStepsByAHundredWithinItsRange)
{
    openSong();
    const std::pair<std::uint32_t, std::uint32_t> up[] = {{900, 1000}, {950, 950}, {1000, 1000}, {0, 100}};
    for (const auto& [before, after] : up) {
        volume() = before;
        Form1->ADDVoLume();
        EXPECT_EQ(volume(), after) << "up from " << before;
    }
    const std::pair<std::uint32_t, std::uint32_t> down[] = {{100, 0}, {50, 50}, {0, 0}, {550, 450}};
    for (const auto& [before, after] : down) {
        volume() = before;
        Form1->TakeVoLume();
        EXPECT_EQ(volume(), after) << "down from " << before;
    }
}

TEST_F(PlayerDevice, VolumeKeysWithoutADeviceChangeNothing)
{
    EXPECT_NO_THROW(Form1->ADDVoLume());
    EXPECT_NO_THROW(Form1->TakeVoLume());
    EXPECT_TRUE(mci->Devices.empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PlayerDevice, ExiTStopsTheDeviceOnlyWhileTheStatusLineNamesAFile)
{
    openSong();
    Form1->PLayer->Play();
    Form1->Button1Click();
    EXPECT_TRUE(mci->CallsOf(MCI_STOP).empty());
    EXPECT_TRUE(Application().Terminated());

    Application().Initialize();
    Form1->SetStatusLine("Playing </music/song.mp3>");
    Form1->Button1Click();
    ASSERT_EQ(mci->CallsOf(MCI_STOP).size(), 1u);
    EXPECT_EQ(mci->Find(Form1->PLayer->MciDevice())->Mode, MCI_MODE_STOP);
    EXPECT_TRUE(Application().Terminated());
}

TEST_F(PlayerDevice, ClosingTheMainWindowFreesThePlayerWhichClosesItsDevice)
{
    ShowMainWindow();
    openSong();
    const MCIDEVICEID id = Form1->PLayer->MciDevice();
    Form1->close();
    EXPECT_EQ(Form1->PLayer, nullptr);
    const auto closes = mci->CallsOf(MCI_CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].Device, id);
    EXPECT_TRUE(mci->Devices.empty());
    EXPECT_TRUE(Application().Terminated());
}

} // namespace
