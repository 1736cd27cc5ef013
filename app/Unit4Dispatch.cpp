// The dispatch of key names to the player's eight actions.

#include "Unit4.h"

#include "ListBox.h"
#include "MPlayer.h"
#include "Unit1.h"
#include "Unit3.h"

namespace quellora {

namespace {

// The list's ends are joined, as at the end of a track: after the last item
// comes the first, before the first the last. A start that fails leaves the
// player idle.
void start(void (TForm1::*how)())
{
    if (Form1->Mp3LisT()->Items().Count() > 0)
        (Form1->*how)();
}

void pauseResume()
{
    const std::string& status = Form1->StatusLine();
    if (status.empty())
        return;
    TMediaPlayer* player = Form1->PLayer;
    const std::string file = player->FileName;
    if (status == PlayingStatus(file)) {
        player->Pause();
        Form1->SetStatusLine(PauseStatus(file));
    } else if (status == PauseStatus(file)) {
        player->Resume();
        Form1->SetStatusLine(PlayingStatus(file));
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

} // namespace

void RunAction(THotkeyAction action)
{
    switch (action) {
    case THotkeyAction::Random: start(&TForm1::StartRandom); break;
    case THotkeyAction::Next: start(&TForm1::StartNext); break;
    case THotkeyAction::Last: start(&TForm1::StartPrevious); break;
    case THotkeyAction::PauseResume: pauseResume(); break;
    case THotkeyAction::Stop: stop(); break;
    case THotkeyAction::ExiT: exitNow(); break;
    case THotkeyAction::VolumePlus: Form1->ADDVoLume(); break;
    case THotkeyAction::VolumeMinus: Form1->TakeVoLume(); break;
    }
}

void HandleKey(const std::string& name)
{
    // A key must never interrupt the user with an error report: whatever
    // fails ends the action where it failed, and that is all.
    try {
        if (!Form1 || !Form3 || !Form1->PLayer)
            return;
        for (THotkeyAction action : HotkeyActions) {
            if (Form3->ActionKey(action) == name) {
                RunAction(action);
                return;
            }
        }
    } catch (...) {
    }
}

} // namespace quellora
