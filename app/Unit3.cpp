#include "Unit3.h"

#include "ui_Unit3.h"

#include "Handler.h"
#include "IniFiles.h"
#include "KeyState.h"
#include "Paths.h"
#include "StrUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

namespace quellora {

TForm3* Form3 = nullptr;

namespace {

const char* const NoKey = "none";

std::string text(const QComboBox* box)
{
    return box->currentText().toStdString();
}

// Selects the first item equal to `value` but for case; no item, no selection.
void selectValue(QComboBox* box, const std::string& value)
{
    int found = -1;
    for (int i = 0; i < box->count() && found < 0; ++i)
        if (SameText(box->itemText(i).toStdString(), value))
            found = i;
    box->setCurrentIndex(found);
}

} // namespace

TForm3::TForm3(QWidget* mainForm) : TDialogForm(mainForm), ui(new Ui::Form3)
{
    ui->setupUi(this);
    ApplyDialogLook(this, width(), height());

    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    for (THotkeyAction action : HotkeyActions)
        ShareKeyPress(box(action));
    for (QWidget* control : std::initializer_list<QWidget*>{ui->PlayRandom, ui->Button1, ui->Button2, ui->Button3})
        ShareKeyPress(control);
    Create();
}

TForm3::~TForm3()
{
    delete ui;
}

QComboBox* TForm3::box(THotkeyAction action) const
{
    switch (action) {
    case THotkeyAction::Random: return ui->Random;
    case THotkeyAction::Next: return ui->Next;
    case THotkeyAction::Last: return ui->Last;
    case THotkeyAction::PauseResume: return ui->PauseResume;
    case THotkeyAction::Stop: return ui->Stop;
    case THotkeyAction::ExiT: return ui->ExiT;
    case THotkeyAction::VolumePlus: return ui->VolumePlus;
    case THotkeyAction::VolumeMinus: return ui->VolumeMinus;
    }
    return ui->Random;
}

std::string TForm3::ActionKey(THotkeyAction action) const
{
    return text(box(action));
}

bool TForm3::PlayRandomChecked() const
{
    return ui->PlayRandom->isChecked();
}

std::string TForm3::ConfigPath()
{
    return ConfigDir() + "Config.ini";
}

void TForm3::FormShow()
{
    // Without an X11 keyboard (a Wayland session without XWayland) the keys
    // are still chosen and kept, for the next X11 session.
    ui->HotkeyNote->setVisible(!KeySource().Listening());

    // Fresh copies of the master list every time, so "none" is never added twice.
    QStringList master;
    for (int i = 0; i < ui->Random->count(); ++i)
        master << ui->Random->itemText(i);
    for (QComboBox* copy : {ui->Next, ui->Last, ui->PauseResume, ui->Stop, ui->ExiT, ui->VolumePlus, ui->VolumeMinus}) {
        copy->clear();
        copy->addItems(master);
        if (copy != ui->PauseResume)
            copy->addItem(NoKey);
    }

    const std::string path = ConfigPath();
    if (!FileExists(path)) {
        Button2Click();
        return;
    }
    TIniFile ini(path);
    // Four keys are read under other capitals than they are written.
    selectValue(ui->Random, ini.ReadString("Keys", "Random", ""));
    selectValue(ui->Next, ini.ReadString("Keys", "NexT", ""));
    selectValue(ui->Last, ini.ReadString("Keys", "LasT", ""));
    selectValue(ui->PauseResume, ini.ReadString("Keys", "PauseResume", ""));
    selectValue(ui->Stop, ini.ReadString("Keys", "Stop", ""));
    selectValue(ui->ExiT, ini.ReadString("Keys", "ExiT", ""));
    selectValue(ui->VolumePlus, ini.ReadString("Keys", "Volumeplus", ""));
    selectValue(ui->VolumeMinus, ini.ReadString("Keys", "VolumeMinus", ""));
    // Only "yes" exactly turns random play on.
    ui->PlayRandom->setChecked(ini.ReadString("Other", "PlayRandom", "") == "yes");
}

void TForm3::Button1Click()
{
    TIniFile ini(ConfigPath());
    ini.WriteString("Keys", "Random", text(ui->Random));
    ini.WriteString("Keys", "LasT", text(ui->Last));
    ini.WriteString("Keys", "PauseResume", text(ui->PauseResume));
    ini.WriteString("Keys", "Next", text(ui->Next));
    ini.WriteString("Keys", "Stop", text(ui->Stop));
    ini.WriteString("Keys", "Exit", text(ui->ExiT));
    ini.WriteString("Keys", "VolumePlus", text(ui->VolumePlus));
    ini.WriteString("Keys", "VolumeMinus", text(ui->VolumeMinus));
    ini.WriteString("Other", "Playrandom", ui->PlayRandom->isChecked() ? "yes" : "no");
    ini.UpdateFile();
    hide();
}

void TForm3::Button2Click()
{
    selectValue(ui->Random, "/");
    selectValue(ui->Next, NoKey);
    selectValue(ui->Last, NoKey);
    selectValue(ui->PauseResume, "*");
    selectValue(ui->Stop, NoKey);
    selectValue(ui->ExiT, NoKey);
    selectValue(ui->VolumePlus, "+");
    selectValue(ui->VolumeMinus, "-");
    ui->PlayRandom->setChecked(true);
}

void TForm3::Button3Click()
{
    hide();
}

void TForm3::FormKeyPress(char& key)
{
    if (key == 27)
        hide();
}

void TForm3::hideEvent(QHideEvent* event)
{
    TDialogForm::hideEvent(event);
    // The main window shows and hides the dialog in one go. A window manager
    // that takes the map request only after the withdrawal (weston's, for
    // XWayland) would map the window for good: a window that was never on
    // the screen gives its native window up, and the next show makes a new one.
    if (!event->spontaneous() && windowHandle() && !windowHandle()->isExposed())
        windowHandle()->destroy();
}

} // namespace quellora
