// The playback controller on a scripted device: the buttons, the
// double-click and the tick, each judged by the commands the device got and
// by the status line.

#include "AppFixture.h"
#include "Gauges.h"
#include "Handler.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "RandomIndex.h"
#include "ScriptedMciLayer.h"
#include "Timer.h"

#include "ui_Unit1.h"
#include "ui_Unit3.h"

#include <QCheckBox>
#include <QElapsedTimer>

using namespace quellora;
using namespace quellora::test;

namespace {

class Playback : public AppFixture {
protected:
    std::shared_ptr<TScriptedMciLayer> mci = std::make_shared<TScriptedMciLayer>();
    std::vector<std::string> files;

    void SetUp() override
    {
        AppFixture::SetUp();
        SetMciLayer(mci);
        SetRandSeed(0);
        CurrentFile.clear();
    }

    void TearDown() override
    {
        AppFixture::TearDown();
        SetMciLayer(nullptr);
    }

    // Starts the program with `count` existing files in its list.
    void Start(int count)
    {
        ASSERT_NO_FATAL_FAILURE(InstallSkin());
        std::string list;
        for (int i = 0; i < count; ++i) {
            files.push_back(exeDir.file("song " + std::to_string(i) + ".mp3"));
            WriteBytes(files.back(), "mp3");
            list += files.back() + "\r\n";
        }
        WriteBytes(exeDir.file("Default.qfl"), list);
        CreateForms();
        Form1->GeT->SetEnabled(false); // the test ticks by hand
        ShowMainWindow();
        setRandom(false); // the defaults turn it on
        mci->Calls.clear();
    }

    TListBox* list() { return Form1->Mp3LisT(); }
    TGauge* gauge() { return Form1->ui->Progress; }
    const std::string& status() { return Form1->StatusLine(); }
    static std::string playing(const std::string& f) { return "Playing <" + f + ">"; }
    static std::string paused(const std::string& f) { return "Pause <" + f + ">"; }

    void setRandom(bool on) { Form3->ui->PlayRandom->setChecked(on); }

    void doubleClick(int index)
    {
        list()->SetItemIndex(index);
        RunHandler([&] { Form1->Mp3LisTDblClick(); });
    }

    void tick() { RunHandler([&] { Form1->GeTTimer(); }); }

    std::vector<std::string> opened() const
    {
        std::vector<std::string> names;
        for (const auto& call : mci->CallsOf(MCI_OPEN))
            names.push_back(call.Element);
        return names;
    }

    MCIDEVICEID device() { return Form1->PLayer->MciDevice(); }

    std::uint32_t mode() { return mci->Find(device()) ? mci->Find(device())->Mode : 0; }
};

} // namespace

TEST_F(Playback, DoubleClickClosesOpensAndPlaysTheItem)
{
    Start(3);
    doubleClick(0);
    const MCIDEVICEID first = device();
    mci->Calls.clear();
    doubleClick(1);
    // The device that played is closed before the item is opened.
    ASSERT_GE(mci->Calls.size(), 2u);
    EXPECT_EQ(mci->Calls[0].Command, MCI_CLOSE);
    EXPECT_EQ(mci->Calls[0].Device, first);
    EXPECT_EQ(mci->Calls[1].Command, MCI_OPEN);
    EXPECT_EQ(opened(), std::vector<std::string>{files[1]});
    EXPECT_EQ(mci->CallsOf(MCI_PLAY).size(), 1u);
    EXPECT_EQ(status(), playing(files[1]));
    EXPECT_EQ(CurrentFile, files[1]);
    EXPECT_EQ(Form1->PLayer->FileName, files[1]);
    EXPECT_EQ(mode(), MCI_MODE_PLAY);
}

TEST_F(Playback, DoubleClickOnADeletedFileDropsTheItemAndGoesIdle)
{
    Start(3);
    doubleClick(0);
    ASSERT_EQ(status(), playing(files[0]));
    std::remove(files[1].c_str());
    doubleClick(1);
    EXPECT_EQ(list()->Items().Items(), (ByteStrings{files[0], files[2]}));
    EXPECT_EQ(list()->ItemIndex(), -1) << "the item after the removed one is not selected in its place";
    EXPECT_FALSE(Form1->PLayer->DeviceOpen()) << "whatever played is closed";
    EXPECT_EQ(status(), "");
    // The removal is not saved.
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), files[0] + "\r\n" + files[1] + "\r\n" + files[2] + "\r\n");
    // Idle ticks report nothing.
    tick();
    tick();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Playback, DoubleClickWithNothingSelectedIsAListError)
{
    Start(0);
    RunHandler([&] { Form1->Mp3LisTDblClick(); });
    ASSERT_EQ(boxes.size(), 1u);
    // ")" sorts before ".", so no full stop is added.
    EXPECT_EQ(boxes[0].text, "List index out of bounds (-1)");
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_EQ(status(), "");
}

TEST_F(Playback, PauseButtonTogglesTheDoubleClickedFile)
{
    Start(2);
    doubleClick(0);
    Form1->Button4Click();
    EXPECT_EQ(status(), paused(files[0]));
    EXPECT_EQ(mode(), MCI_MODE_PAUSE);
    Form1->Button4Click();
    EXPECT_EQ(status(), playing(files[0]));
    EXPECT_EQ(mode(), MCI_MODE_PLAY);
}

TEST_F(Playback, StopEmptiesTheStatusAndPauseThenDoesNothing)
{
    Start(2);
    doubleClick(0);
    Form1->Button5Click();
    EXPECT_EQ(status(), "");
    EXPECT_EQ(mode(), MCI_MODE_STOP);
    EXPECT_TRUE(Form1->PLayer->DeviceOpen()) << "the device stays open at the stopped place";
    mci->Calls.clear();
    Form1->Button4Click();
    Form1->Button5Click();
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_EQ(status(), "");
}

TEST_F(Playback, PlayButtonWithRandomOffAndNothingPausedDoesNothing)
{
    Start(3);
    Form1->Button3Click();
    EXPECT_TRUE(mci->Calls.empty());
    EXPECT_EQ(status(), "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Playback, PlayButtonOnAnEmptyListWarnsThenResumesThePausedFile)
{
    Start(2);
    doubleClick(1);
    Form1->Button4Click();
    Form1->Clearlist1Click();
    Form1->Button3Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, DialogKind::ErrorMessage);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Nothing to play! Load some files first!");
    EXPECT_EQ(status(), playing(files[1]));
    EXPECT_EQ(mode(), MCI_MODE_PLAY);
}

TEST_F(Playback, RandomPicksFollowTheGeneratorFromItsFirstState)
{
    Start(10);
    setRandom(true);
    for (int i = 0; i < 6; ++i) {
        Form1->Button3Click();
        // The status line names the picked file; the selection does not move.
        EXPECT_EQ(status(), playing(Form1->PLayer->FileName));
    }
    EXPECT_EQ(opened(), (std::vector<std::string>{files[0], files[0], files[8], files[2], files[2], files[6]}));
    EXPECT_EQ(list()->ItemIndex(), -1);
}

TEST_F(Playback, TickFollowsTheDeviceInTheGauge)
{
    Start(2);
    mci->DefaultLength = 10000;
    tick();
    EXPECT_EQ(gauge()->Progress(), 0);
    doubleClick(0);
    mci->Advance(2500);
    tick();
    EXPECT_EQ(gauge()->MaxValue(), 10000);
    EXPECT_EQ(gauge()->Progress(), 2500);
    EXPECT_EQ(opened().size(), 1u) << "nothing ends early";
    Form1->Button5Click();
    tick();
    EXPECT_EQ(gauge()->Progress(), 0);
}

TEST_F(Playback, TheNextTickIsDueWhenTheShownPercentageChanges)
{
    Start(1);
    mci->DefaultLength = 10000;
    doubleClick(0);
    mci->Advance(2550);
    tick();
    // 26 % begins at 2600: due then, and 2 ms more so that the tick finds it.
    EXPECT_EQ(Form1->GeT->Interval(), 52);
    mci->Advance(52);
    tick();
    EXPECT_EQ(gauge()->PercentComplete(), 26);
    EXPECT_EQ(Form1->GeT->Interval(), 100);
    // A percentage that lasts longer than a quarter second is looked at again after one.
    mci->DefaultLength = 1000000;
    doubleClick(0);
    tick();
    EXPECT_EQ(Form1->GeT->Interval(), 250);
    // Hidden, nobody sees the gauge: the device's report catches the end.
    // Back, the gauge catches up at once.
    Form1->hide();
    EXPECT_EQ(Form1->GeT->Interval(), 0);
    Form1->show();
    EXPECT_EQ(Form1->GeT->Interval(), TTimer::Resolution);
    Form1->Button4Click();
    EXPECT_EQ(Form1->GeT->Interval(), 0) << "nothing is due while paused";
}

TEST_F(Playback, EndOfAFileStartsTheNextItemAndTheListWraps)
{
    Start(3);
    doubleClick(1);
    mci->PlayToEnd(device());
    tick();
    EXPECT_EQ(status(), playing(files[2]));
    EXPECT_EQ(list()->ItemIndex(), 2);
    mci->PlayToEnd(device());
    tick();
    EXPECT_EQ(status(), playing(files[0]));
    EXPECT_EQ(list()->ItemIndex(), 0);
    EXPECT_EQ(opened(), (std::vector<std::string>{files[1], files[2], files[0]}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Playback, WithoutATimerTickTheDeviceReportStartsTheNextItemAndStopEmptiesTheGauge)
{
    Start(3);
    Form1->GeT->SetEnabled(true);
    doubleClick(0);
    mci->PlayToEnd(device());
    // Only the device's completion is delivered, no timer event.
    QCoreApplication::sendPostedEvents(Form1->PLayer, TMciNotifyEvent::EventType());
    EXPECT_EQ(status(), playing(files[1]));
    EXPECT_EQ(opened(), (std::vector<std::string>{files[0], files[1]}));
    EXPECT_EQ(gauge()->Progress(), gauge()->MaxValue()) << "the tick that saw the end set the gauge first";
    Form1->Button5Click();
    EXPECT_EQ(gauge()->Progress(), 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Playback, WithNothingSelectedTheEndStartsTheFirstItem)
{
    Start(3);
    setRandom(true);
    Form1->Button3Click(); // random start: item 0, selection stays empty
    setRandom(false);
    ASSERT_EQ(list()->ItemIndex(), -1);
    mci->PlayToEnd(device());
    tick();
    EXPECT_EQ(list()->ItemIndex(), 0);
    EXPECT_EQ(status(), playing(files[0]));
}

TEST_F(Playback, ZeroLengthFileCountsAsEndedAtOnce)
{
    Start(2);
    mci->Lengths[files[0]] = 0;
    doubleClick(0);
    tick();
    EXPECT_EQ(status(), playing(files[1]));
}

TEST_F(Playback, EndWithAnEmptyListWaitsUntilAFileIsAdded)
{
    Start(2);
    doubleClick(0);
    Form1->Clearlist1Click();
    mci->PlayToEnd(device());
    tick();
    tick();
    EXPECT_EQ(status(), playing(files[0]));
    EXPECT_EQ(gauge()->Progress(), gauge()->MaxValue());
    EXPECT_EQ(opened().size(), 1u);
    list()->Items().Add(files[1]);
    tick();
    EXPECT_EQ(status(), playing(files[1]));
}

TEST_F(Playback, ButtonsPauseAndResumeAFileThatRandomPlayOrTheEndStarted)
{
    Start(3);
    setRandom(true);
    Form1->Button3Click();
    ASSERT_EQ(status(), playing(files[0]));
    Form1->Button4Click();
    EXPECT_EQ(status(), paused(files[0]));
    EXPECT_EQ(mode(), MCI_MODE_PAUSE);
    // Play resumes it rather than starting another random file.
    Form1->Button3Click();
    EXPECT_EQ(status(), playing(files[0]));
    EXPECT_EQ(mode(), MCI_MODE_PLAY);
    EXPECT_EQ(opened().size(), 1u);

    setRandom(false);
    doubleClick(0);
    mci->PlayToEnd(device());
    tick();
    ASSERT_EQ(status(), playing(files[1]));
    Form1->Button4Click();
    EXPECT_EQ(status(), paused(files[1]));
    EXPECT_EQ(mode(), MCI_MODE_PAUSE);
    Form1->Button4Click();
    EXPECT_EQ(status(), playing(files[1]));
    EXPECT_EQ(mode(), MCI_MODE_PLAY);
    EXPECT_EQ(CurrentFile, files[0]) << "only a double-click names it";
}

TEST_F(Playback, FailedStartGoesIdleAndIsReportedOnce)
{
    Start(2);
    mci->OpenErrors[files[1]] = 275; // the file cannot be played
    mci->ErrorTexts[275] = "The file cannot be played.";
    doubleClick(0);
    mci->PlayToEnd(device());
    Form1->GeT->SetEnabled(true);
    // Ticks run through the real timer: a failure is shown once.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Form1->GeT->SetEnabled(false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quellora");
    EXPECT_EQ(status(), "");
    EXPECT_FALSE(Form1->PLayer->DeviceOpen());
    EXPECT_EQ(list()->ItemIndex(), 1);
}

TEST_F(Playback, FailedDoubleClickLeavesNothingPlaying)
{
    Start(2);
    mci->OpenErrors[files[1]] = 275;
    doubleClick(0);
    doubleClick(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(status(), "");
    tick();
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Playback, ExitEndsTheProgramEvenWhenStoppingFails)
{
    Start(1);
    doubleClick(0);
    mci->CommandErrors[MCI_STOP] = 263;
    Form1->Button1Click();
    EXPECT_TRUE(Application().Terminated());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(mci->CallsOf(MCI_STOP).size(), 1u);
}

TEST_F(Playback, ExitWhilePlayingStopsTheDevice)
{
    Start(1);
    doubleClick(0);
    Form1->Button1Click();
    EXPECT_EQ(mode(), MCI_MODE_STOP);
    EXPECT_TRUE(Application().Terminated());
}
