// The playback controller on the real GStreamer device: the main window,
// its real timer and generated MP3 files playing into the fake sink.

#include "AppFixture.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "Mp3Files.h"
#include "RandomIndex.h"

#include "ui_Unit3.h"

#include <QCheckBox>

using namespace quellora;
using namespace quellora::test;

namespace {

class RealPlayback : public AppFixture {
protected:
    std::vector<std::string> files;

    void SetUp() override
    {
        AppFixture::SetUp();
        SetRandSeed(0);
        CurrentFile.clear();
    }

    void Start(int count, double seconds)
    {
        ASSERT_NO_FATAL_FAILURE(InstallSkin());
        std::string list;
        for (int i = 0; i < count; ++i) {
            files.push_back(exeDir.file("tone " + std::to_string(i) + ".mp3"));
            ASSERT_TRUE(MakeMp3(files.back(), seconds, 300 + 100 * i));
            list += files.back() + "\r\n";
        }
        WriteBytes(exeDir.file("Default.qfl"), list);
        CreateForms();
        ShowMainWindow();
        Form3->ui->PlayRandom->setChecked(false);
    }

    const std::string& status() { return Form1->StatusLine(); }
    static std::string playing(const std::string& f) { return "Playing <" + f + ">"; }

    void doubleClick(int index)
    {
        Form1->Mp3LisT()->SetItemIndex(index);
        Form1->Mp3LisTDblClick();
    }
};

} // namespace

TEST_F(RealPlayback, DoubleClickPlaysAndTheNextItemFollowsAtTheEnd)
{
    Start(2, 1);
    doubleClick(0);
    EXPECT_EQ(status(), playing(files[0]));
    ASSERT_TRUE(PollUntil([&] { return Form1->PLayer->Position() > 100; }, 5000)) << "the position does not move";
    ASSERT_TRUE(PollUntil([&] { return status() == playing(files[1]); }, 8000))
        << "the next item did not start; status: " << status();
    EXPECT_EQ(Form1->Mp3LisT()->ItemIndex(), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(RealPlayback, RandomPlayStartsTheFilesTheGeneratorPicks)
{
    Start(4, 0.5);
    Form3->ui->PlayRandom->setChecked(true);
    std::vector<std::string> started;
    Form1->Button3Click();
    started.push_back(Form1->PLayer->FileName);
    // Each end starts the next random pick by itself, on a new device.
    for (int i = 0; i < 2; ++i) {
        const auto device = Form1->PLayer->MciDevice();
        ASSERT_TRUE(PollUntil([&] { return Form1->PLayer->MciDevice() != device; }, 8000)) << "no new start";
        started.push_back(Form1->PLayer->FileName);
    }
    SetRandSeed(0);
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i)
        expected.push_back(files[size_t(RandomIndex(4))]);
    EXPECT_EQ(started, expected);
}

TEST_F(RealPlayback, DeletedFileIsDroppedOnDoubleClickAndThePlayerIsIdle)
{
    Start(2, 3);
    doubleClick(0);
    ASSERT_TRUE(PollUntil([&] { return Form1->PLayer->Position() > 0; }, 5000));
    std::remove(files[1].c_str());
    doubleClick(1);
    EXPECT_EQ(Form1->Mp3LisT()->Items().Items(), ByteStrings{files[0]});
    EXPECT_EQ(status(), "");
    EXPECT_FALSE(Form1->PLayer->DeviceOpen());
}
