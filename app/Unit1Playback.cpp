// The playback controller: the Play, Pause and Stop buttons, the double-click
// on the playlist and the heartbeat tick, all through the player device. The
// status line is the one record of what is playing.
//
// The heartbeat runs on demand, so that an idle or hidden player sleeps: keys
// are polled when the key source has taken some in, the gauge and the end
// check tick only while a file plays and the window is on the screen, when
// the gauge's shown percentage is due to change, and the device's report of
// the end runs a tick at once.

#include "Unit1.h"

#include "ui_Unit1.h"

#include "Dialogs.h"
#include "Gauges.h"
#include "Handler.h"
#include "KeyState.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "OnScreen.h"
#include "Paths.h"
#include "RandomIndex.h"
#include "Timer.h"
#include "Unit3.h"
#include "Unit4.h"

#include <algorithm>

namespace quellora {

std::string CurrentFile;

std::string PlayingStatus(const std::string& file)
{
    return "Playing <" + file + ">";
}

std::string PauseStatus(const std::string& file)
{
    return "Pause <" + file + ">";
}

bool TForm1::PlayRandom() const
{
    // Ticks can arrive before the settings dialog exists.
    return Form3 && Form3->PlayRandomChecked();
}

void TForm1::openAndPlay()
{
    try {
        PLayer->Open();
    } catch (...) {
        // The failed open has closed the earlier device: nothing plays now.
        SetStatusLine("");
        throw;
    }
    PLayer->Play();
}

void TForm1::StartRandom()
{
    TStringListModel& items = Mp3LisT()->Items();
    PLayer->Close();
    PLayer->FileName = items.Get(RandomIndex(items.Count()));
    openAndPlay();
    SetStatusLine(PlayingStatus(PLayer->FileName));
}

void TForm1::StartNext()
{
    const int next = Mp3LisT()->ItemIndex() + 1;
    // After the last item the list starts again from the first.
    startSelected(next >= Mp3LisT()->Items().Count() ? 0 : next);
}

void TForm1::StartPrevious()
{
    const int previous = Mp3LisT()->ItemIndex() - 1;
    // Before the first item, and from no selection, comes the last.
    startSelected(previous < 0 ? Mp3LisT()->Items().Count() - 1 : previous);
}

void TForm1::startSelected(int index)
{
    Mp3LisT()->SetItemIndex(index);
    PLayer->FileName = Mp3LisT()->Items().Get(Mp3LisT()->ItemIndex());
    SetStatusLine(PlayingStatus(PLayer->FileName));
    openAndPlay();
}

// The Play and Pause buttons act on the double-clicked file and, as the
// pause key does, on the file the device holds: a file that random play,
// the end of a file, a key or the media controls started is the one the
// status line names, and the buttons pause and resume it too.
void TForm1::Button3Click()
{
    const int count = Mp3LisT()->Items().Count();
    if (count == 0)
        MessageDlgError("Nothing to play! Load some files first!");
    if (status_ == PauseStatus(CurrentFile) || status_ == PauseStatus(PLayer->FileName)) {
        PLayer->Resume();
        SetStatusLine(PlayingStatus(PLayer->FileName));
    } else if (PlayRandom() && Mp3LisT()->Items().Count() > 0) {
        StartRandom();
    }
}

void TForm1::Button4Click()
{
    if (status_.empty())
        return;
    for (const std::string& file : {CurrentFile, PLayer->FileName}) {
        if (status_ == PauseStatus(file)) {
            PLayer->Resume();
            SetStatusLine(PlayingStatus(file));
            return;
        }
        if (status_ == PlayingStatus(file)) {
            PLayer->Pause();
            SetStatusLine(PauseStatus(file));
            return;
        }
    }
}

void TForm1::Button5Click()
{
    if (status_.empty())
        return;
    PLayer->Stop();
    SetStatusLine("");
}

void TForm1::Mp3LisTDblClick()
{
    TStringListModel& items = Mp3LisT()->Items();
    CurrentFile = items.Get(Mp3LisT()->ItemIndex());
    PLayer->Close();
    if (FileExists(CurrentFile)) {
        PLayer->FileName = CurrentFile;
        openAndPlay();
        SetStatusLine(PlayingStatus(CurrentFile));
    } else {
        // The file is gone: drop it from the list (not saved) and, as the
        // device is closed now, go idle.
        items.Delete(Mp3LisT()->ItemIndex());
        SetStatusLine("");
    }
}

void TForm1::GeTTimer()
{
    PollKeys();
    if (!PLayer)
        return; // the window is closing
    TGauge* gauge = ui->Progress;
    if (status_.empty()) {
        gauge->SetProgress(0);
        return;
    }
    UpdateGauge();
    scheduleTicks(false);
    if (gauge->Progress() != gauge->MaxValue())
        return;
    // The file has ended.
    if (Mp3LisT()->Items().Count() == 0)
        return;
    if (PlayRandom())
        StartRandom();
    else
        StartNext();
}

void TForm1::UpdateGauge()
{
    TGauge* gauge = ui->Progress;
    gauge->SetMaxValue(PLayer->TrackLength(1));
    gauge->SetProgress(PLayer->Position());
}

void TForm1::PLayerNotify()
{
    // A play that has run to the end of the file (or broken off) completes
    // now: the next file starts without waiting for the gauge's pace.
    const TMPNotifyValues result = PLayer->NotifyResult();
    if (!status_.empty() && (result == nvSuccessful || result == nvFailure))
        GeT->TickNow();
}

// The milliseconds until the playing file moves the gauge's shown
// percentage (and so its bar) to the next one, and a little more, so that
// the tick finds it moved. At least every quarter second all the same: the
// length of a file without a header that states it is only an estimate
// while it plays.
int TForm1::gaugeStepMs() const
{
    constexpr int Slowest = 250;
    constexpr int Margin = 2;
    const TGauge* gauge = ui->Progress;
    const long long range = (long long)gauge->MaxValue() - gauge->MinValue();
    if (range <= 0)
        return Slowest;
    // The first position at which the truncated percentage is one more.
    const long long next = gauge->MinValue() + ((gauge->PercentComplete() + 1LL) * range + 99) / 100;
    const long long due = next - gauge->Progress() + Margin;
    return int(std::clamp<long long>(due, TTimer::Resolution, Slowest));
}

// Sets GeT to what is due. `soon`: the status line has just been written, so
// the next tick comes at once and finds the new file's length.
void TForm1::scheduleTicks(bool soon)
{
    if (keysPolled_) {
        GeT->SetInterval(1);
        return;
    }
    const bool playing = !status_.empty() && !status_.starts_with("Pause <");
    // Nobody sees the gauge: the end comes from the device's report.
    if (!playing || !onScreen_ || !onScreen_->OnScreen())
        GeT->SetInterval(0);
    else
        GeT->SetInterval(soon ? TTimer::Resolution : gaugeStepMs());
}

void TForm1::watchKeys()
{
    TKeySource& keys = KeySource();
    // A key taken in runs the poll and the actions at once, also while a
    // modal box runs its own loop.
    keysPolled_ = !keys.WatchInput([] { RunHandler([] { PollKeys(); }); });
    keysWatched_ = &keys;
    scheduleTicks(true);
}

void TForm1::unwatchKeys()
{
    if (keysWatched_)
        keysWatched_->WatchInput(nullptr);
    keysWatched_ = nullptr;
    keysPolled_ = false;
}

} // namespace quellora
