#pragma once
// The settings dialog. Its controls are the live settings of the program:
// the key dispatch reads the eight action boxes, the playback controller the
// random-play box. "Config.ini" is only the store they are filled from at
// every show and written to on Ok.

#include "Forms.h"
#include "KeyState.h"

#include <QString>

#include <string>
#include <vector>

class QComboBox;

namespace Ui {
class Form3;
}

namespace quellora {

// The eight actions, in the order the key dispatch compares their keys.
enum class THotkeyAction { Random, Next, Last, PauseResume, Stop, ExiT, VolumePlus, VolumeMinus };
inline constexpr THotkeyAction HotkeyActions[] = {
    THotkeyAction::Random, THotkeyAction::Next,  THotkeyAction::Last,       THotkeyAction::PauseResume,
    THotkeyAction::Stop,   THotkeyAction::ExiT,  THotkeyAction::VolumePlus, THotkeyAction::VolumeMinus,
};

class TForm3 : public TDialogForm {
    Q_OBJECT
public:
    explicit TForm3(QWidget* mainForm);
    ~TForm3() override;

    Ui::Form3* ui;

    // The key name bound to `action` now: the box's text, "" when nothing is
    // selected, "none" when the action has no key. Unsaved choices count.
    std::string ActionKey(THotkeyAction action) const;
    // All eight, with the ids and descriptions the desktop knows them by.
    std::vector<TActionKey> ActionKeys() const;
    // Random play after the end of a track.
    bool PlayRandomChecked() const;

    // "Config.ini" beside the executable.
    static std::string ConfigPath();

    void Button1Click(); // Ok: write the file, hide
    void Button2Click(); // Defaults: into the controls only
    void Button3Click(); // Cancel: hide, the choices stay until the next show

protected:
    void FormShow() override;
    void FormKeyPress(char& key) override;
    void hideEvent(QHideEvent* event) override;

private:
    QComboBox* box(THotkeyAction action) const;
    // The note under the action boxes: no keys in this session, or the
    // keys the desktop bound otherwise than chosen.
    void showHotkeyNote();

    QString noKeysNote_;
    TKeySource* grantsWatched_ = nullptr;
};

extern TForm3* Form3;

} // namespace quellora
