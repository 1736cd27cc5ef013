// The dispatch of key names to the player's eight actions.

#include "Unit4.h"

#include "ListBox.h"
#include "MPlayer.h"
#include "RandomIndex.h"
#include "Unit1.h"
#include "Unit3.h"

namespace quellora {

namespace {

std::string playing(const std::string& file)
{
    return "Playing <" + file + ">";
}

std::string paused(const std::string& file)
{
    return "Pause <" + file + ">";
}

// The list's ends are joined: after the last item comes the first, before
// the first the last. With nothing selected, next starts at the first item
// and previous at the last.
int stepIndex(int selected, int count, int step)
{
    if (selected < 0 || selected >= count)
        return step > 0 ? 0 : count - 1;
    return (selected + step + count) % count;
}

void randomStart()
{
    TListBox* list = Form1->Mp3LisT();
    const int count = list->Items().Count();
    if (count == 0)
        return;
    TMediaPlayer* player = Form1->PLayer;
    player->Close();
    player->FileName = list->Items().Get(RandomIndex(count));
    player->Open();
    player->Play();
    Form1->SetStatusLine(playing(player->FileName));
}

void stepStart(int step)
{
    TListBox* list = Form1->Mp3LisT();
    const int count = list->Items().Count();
    if (count == 0)
        return;
    list->SetItemIndex(stepIndex(list->ItemIndex(), count, step));
    TMediaPlayer* player = Form1->PLayer;
    player->FileName = list->Items().Get(list->ItemIndex());
    // Named before the device is touched, as the tick's next start does.
    Form1->SetStatusLine(playing(player->FileName));
    player->Open();
    player->Play();
}

void pauseResume()
{
    const std::string& status = Form1->StatusLine();
    if (status.empty())
        return;
    TMediaPlayer* player = Form1->PLayer;
    const std::string file = player->FileName;
    if (status == playing(file)) {
        player->Pause();
        Form1->SetStatusLine(paused(file));
    } else if (status == paused(file)) {
        player->Resume();
        Form1->SetStatusLine(playing(file));
    }
}

void stop()
{
    if (Form1->StatusLine().empty())
        return;
    Form1->PLayer->Stop();
    Form1->SetStatusLine("");
}

void exitNow()
{
    if (!Form1->StatusLine().empty())
        Form1->PLayer->Stop();
    Form1->ExiTNoW();
}

void run(THotkeyAction action)
{
    switch (action) {
    case THotkeyAction::Random: randomStart(); break;
    case THotkeyAction::Next: stepStart(+1); break;
    case THotkeyAction::Last: stepStart(-1); break;
    case THotkeyAction::PauseResume: pauseResume(); break;
    case THotkeyAction::Stop: stop(); break;
    case THotkeyAction::ExiT: exitNow(); break;
    case THotkeyAction::VolumePlus: Form1->ADDVoLume(); break;
    case THotkeyAction::VolumeMinus: Form1->TakeVoLume(); break;
    }
}

} // namespace

void HandleKey(const std::string& name)
{
    // A key must never interrupt the user with an error report: whatever
    // fails ends the action where it failed, and that is all.
    try {
        if (!Form1 || !Form3 || !Form1->PLayer)
            return;
        for (THotkeyAction action : HotkeyActions) {
            if (Form3->ActionKey(action) == name) {
                run(action);
                return;
            }
        }
    } catch (...) {
    }
}

} // namespace quellora
