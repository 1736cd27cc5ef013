#include "Unit3.h"

#include "ui_Unit3.h"

#include "Handler.h"
#include "IniFiles.h"
#include "KeyState.h"
#include "Paths.h"
#include "StrUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

namespace quellora {

TForm3* Form3 = nullptr;

namespace {

const char* const NoKey = "none";

// Each action's box, the label that names it in the dialog, and the id the
// desktop knows its shortcut by.
struct TActionRow {
    THotkeyAction action;
    const char* id;
    QComboBox* Ui::Form3::*box;
    QLabel* Ui::Form3::*label;
};

constexpr TActionRow ActionRows[] = {
    {THotkeyAction::Random, "random", &Ui::Form3::Random, &Ui::Form3::Label2},
    {THotkeyAction::Next, "next", &Ui::Form3::Next, &Ui::Form3::Label3},
    {THotkeyAction::Last, "last", &Ui::Form3::Last, &Ui::Form3::Label4},
    {THotkeyAction::PauseResume, "pause-resume", &Ui::Form3::PauseResume, &Ui::Form3::Label5},
    {THotkeyAction::Stop, "stop", &Ui::Form3::Stop, &Ui::Form3::Label6},
    {THotkeyAction::ExiT, "exit", &Ui::Form3::ExiT, &Ui::Form3::Label7},
    {THotkeyAction::VolumePlus, "volume-up", &Ui::Form3::VolumePlus, &Ui::Form3::Label8},
    {THotkeyAction::VolumeMinus, "volume-down", &Ui::Form3::VolumeMinus, &Ui::Form3::Label9},
};

const TActionRow& rowOf(THotkeyAction action)
{
    for (const TActionRow& row : ActionRows)
        if (row.action == action)
            return row;
    return ActionRows[0];
}

// The action in the dialog's words: "Play next mp3 :" says "Play next mp3".
QString description(const Ui::Form3* ui, const TActionRow& row)
{
    QString text = (ui->*row.label)->text();
    if (text.endsWith(QLatin1String(" :")))
        text.chop(2);
    return text;
}

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
    noKeysNote_ = ui->HotkeyNote->text();

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
    if (grantsWatched_)
        grantsWatched_->WatchGrants(nullptr);
    delete ui;
}

QComboBox* TForm3::box(THotkeyAction action) const
{
    return ui->*rowOf(action).box;
}

std::vector<TActionKey> TForm3::ActionKeys() const
{
    std::vector<TActionKey> keys;
    for (const TActionRow& row : ActionRows)
        keys.push_back({row.id, description(ui, row).toStdString(), text(ui->*row.box)});
    return keys;
}

void TForm3::showHotkeyNote()
{
    // Without keys to listen to (a Wayland session without XWayland and
    // without the desktop's shortcuts) the keys are still chosen and kept,
    // for the next session that has them. Where the desktop bound other
    // keys than those chosen, it says which.
    const TKeySource& keys = KeySource();
    QString note;
    if (!keys.Listening()) {
        note = noKeysNote_;
    } else if (const std::vector<TGrantedKey> others = keys.OtherGrants(); !others.empty()) {
        QStringList parts;
        for (const TActionRow& row : ActionRows)
            for (const TGrantedKey& other : others)
                if (other.id == row.id)
                    parts << description(ui, row) + " = " +
                                 (other.trigger.empty() ? QString(NoKey) : QString::fromStdString(other.trigger));
        note = "Desktop keys: " + parts.join(", ");
    }
    QLabel* label = ui->HotkeyNote;
    label->setText(QFontMetrics(label->font()).elidedText(note, Qt::ElideRight, label->width()));
    label->setToolTip(note == label->text() ? QString() : note);
    label->setVisible(!note.isEmpty());
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
    grantsWatched_ = &KeySource();
    grantsWatched_->WatchGrants([this] { showHotkeyNote(); });
    showHotkeyNote();

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
    if (grantsWatched_)
        grantsWatched_->WatchGrants(nullptr);
    grantsWatched_ = nullptr;
    // Whatever hid the dialog (Ok, Cancel, Escape, the main window's show),
    // its keys are the live ones: a desktop that binds keys binds these,
    // and is asked again only when they change.
    KeySource().SetActionKeys(ActionKeys());
    // The main window shows and hides the dialog in one go. A window manager
    // that takes the map request only after the withdrawal (weston's, for
    // XWayland) would map the window for good: a window that was never on
    // the screen gives its native window up, and the next show makes a new one.
    if (!event->spontaneous() && windowHandle() && !windowHandle()->isExposed())
        windowHandle()->destroy();
}

} // namespace quellora
