// The settings dialog: what it loads from "Config.ini" or the defaults at
// every show, what Ok writes, and the choices the rest of the program reads.

#include "AppFixture.h"
#include "Dialogs.h"
#include "Paths.h"
#include "ScriptedKeySource.h"
#include "TempDir.h"
#include "Unit3.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

using namespace quellora;
using namespace quellora::test;

namespace {

using Keys = std::vector<std::string>;

const Keys DefaultKeys{"/", "none", "none", "*", "none", "none", "+", "-"};

const char* const DefaultFile = "[Keys]\r\n"
                                "Random=/\r\n"
                                "LasT=none\r\n"
                                "PauseResume=*\r\n"
                                "Next=none\r\n"
                                "Stop=none\r\n"
                                "Exit=none\r\n"
                                "VolumePlus=+\r\n"
                                "VolumeMinus=-\r\n"
                                "\r\n"
                                "[Other]\r\n"
                                "Playrandom=yes\r\n";

class SettingsDialog : public ::testing::Test {
protected:
    TempDir exeDir;
    QWidget owner;
    std::unique_ptr<TForm3> form;
    std::vector<std::string> reports;

    void SetUp() override
    {
        SetExeDirOverride(exeDir.path());
        SetDialogSink([this](DialogKind, const std::string&, const std::string& text) { reports.push_back(text); });
        form = std::make_unique<TForm3>(&owner);
    }

    void TearDown() override
    {
        form.reset();
        SetDialogSink(nullptr);
        SetExeDirOverride("");
    }

    std::string configPath() const { return exeDir.file("Config.ini"); }
    bool configExists() const { return QFile::exists(QString::fromStdString(configPath())); }

    template <typename T>
    T* control(const char* name) const
    {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QComboBox* combo(const char* name) const { return control<QComboBox>(name); }
    QCheckBox* playRandom() const { return control<QCheckBox>("PlayRandom"); }
    void click(const char* button) { control<QPushButton>(button)->click(); }

    // What the key dispatch sees, in its order.
    Keys keys() const
    {
        Keys result;
        for (THotkeyAction action : HotkeyActions)
            result.push_back(form->ActionKey(action));
        return result;
    }

    void showAgain()
    {
        form->hide();
        form->show();
    }

    void type(QWidget* target, int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
    }
};

} // namespace

TEST_F(SettingsDialog, FirstStartShowsTheDefaultsAndWritesNothing)
{
    form->show();
    EXPECT_EQ(keys(), DefaultKeys);
    EXPECT_TRUE(form->PlayRandomChecked());
    EXPECT_FALSE(configExists());
    EXPECT_TRUE(reports.empty());
}

TEST_F(SettingsDialog, OkAfterTheDefaultsWritesTheEntriesInOrder)
{
    form->show();
    click("Button1");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(ReadBytes(configPath()), DefaultFile);
}

TEST_F(SettingsDialog, WrittenChoicesReadBackAlthoughFourKeysAreReadUnderOtherCapitals)
{
    form->show();
    const Keys chosen{"F12", "N", "Insert", "Ctrl", "0", "Z", "*", "none"};
    const char* boxes[] = {"Random", "Next", "Last", "PauseResume", "Stop", "ExiT", "VolumePlus", "VolumeMinus"};
    for (size_t i = 0; i < chosen.size(); ++i)
        combo(boxes[i])->setCurrentText(QString::fromStdString(chosen[i]));
    playRandom()->setChecked(false);
    ASSERT_EQ(keys(), chosen);
    click("Button1");

    // Defaults in the controls, so that only the file can bring the choices back.
    click("Button2");
    showAgain();
    EXPECT_EQ(keys(), chosen);
    EXPECT_FALSE(form->PlayRandomChecked());
    EXPECT_NE(ReadBytes(configPath()).find("Playrandom=no\r\n"), std::string::npos);
}

TEST_F(SettingsDialog, FileValuesSelectItemsWithoutRegardToCase)
{
    WriteBytes(configPath(), "[keys]\r\n"
                             "random = none\r\n"       // Random has no "none"
                             "NEXT=CTRL\r\n"           // the poller's spelling
                             "LasT=cTrL\r\n"
                             "PauseResume=none\r\n"    // PauseResume has no "none"
                             "Stop=\xE2\x84\xAA\r\n"   // Kelvin sign: folds to "k" in Unicode, not here
                             "ExiT=\r\n"
                             "Volumeplus=f5\r\n"
                             "[OTHER]\r\n"
                             "PlayRandom=Yes\r\n");
    form->show();
    EXPECT_EQ(keys(), (Keys{"", "Ctrl", "Ctrl", "", "", "", "F5", ""}));
    EXPECT_EQ(combo("Next")->currentIndex(), 4) << "the item \"Ctrl\" itself is selected";
    EXPECT_FALSE(form->PlayRandomChecked()) << "only \"yes\" exactly turns random play on";

    WriteBytes(configPath(), "[Other]\r\nPlayRandom=yes\r\n");
    showAgain();
    EXPECT_TRUE(form->PlayRandomChecked());
    EXPECT_EQ(keys(), Keys(8, "")) << "a file without keys leaves every box empty";
}

TEST_F(SettingsDialog, EmptyBoxIsStoredAsEmptyValueAndReadBackEmpty)
{
    WriteBytes(configPath(), "[Keys]\r\nRandom=bogus\r\n");
    form->show();
    click("Button1");
    EXPECT_THAT(ReadBytes(configPath()), ::testing::StartsWith("[Keys]\r\nRandom=\r\nLasT=\r\nPauseResume=\r\n"));
    showAgain();
    EXPECT_EQ(keys(), Keys(8, ""));
}

TEST_F(SettingsDialog, CancelAndEscapeKeepChangesOnlyUntilTheNextShow)
{
    WriteBytes(configPath(), DefaultFile);
    form->show();
    combo("Next")->setCurrentText("F5");
    click("Button3");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ActionKey(THotkeyAction::Next), "F5") << "the unsaved key works at once";
    form->show();
    EXPECT_EQ(form->ActionKey(THotkeyAction::Next), "none");

    // Escape typed into any control leaves the dialog the same way.
    WriteBytes(configPath(), "[Keys]\r\nRandom=A\r\n[Other]\r\nPlayRandom=no\r\n");
    showAgain();
    click("Button2");
    type(combo("VolumeMinus"), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(keys(), DefaultKeys);
    EXPECT_TRUE(form->PlayRandomChecked());
    EXPECT_EQ(ReadBytes(configPath()), "[Keys]\r\nRandom=A\r\n[Other]\r\nPlayRandom=no\r\n");
    form->show();
    EXPECT_EQ(form->ActionKey(THotkeyAction::Random), "A");
    EXPECT_FALSE(form->PlayRandomChecked());
}

TEST_F(SettingsDialog, EnterNeitherLeavesNorSaves)
{
    form->show();
    for (const char* target : {"Button1", "Button2", "Button3", "PlayRandom"})
        type(control<QWidget>(target), Qt::Key_Return);
    type(combo("Random"), Qt::Key_Enter);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(configExists());
}

TEST_F(SettingsDialog, EveryShowRebuildsTheListsWithOneNone)
{
    for (int i = 0; i < 25; ++i)
        showAgain();
    const QComboBox* random = combo("Random");
    ASSERT_EQ(random->count(), 57);
    EXPECT_EQ(random->itemText(0), "Insert");
    EXPECT_EQ(random->itemText(4), "Ctrl");
    EXPECT_EQ(random->itemText(56), "F12");
    EXPECT_EQ(random->findText("Q"), -1);
    EXPECT_EQ(random->findText("U"), -1);
    for (const char* name : {"Random", "Next", "Last", "PauseResume", "Stop", "ExiT", "VolumePlus", "VolumeMinus"}) {
        const QComboBox* box = combo(name);
        const bool hasNone = std::string(name) != "Random" && std::string(name) != "PauseResume";
        EXPECT_EQ(box->count(), hasNone ? 58 : 57) << name;
        for (int i = 0; i < 57; ++i)
            ASSERT_EQ(box->itemText(i), random->itemText(i)) << name << " item " << i;
        EXPECT_EQ(box->findText("none", Qt::MatchExactly), hasNone ? 57 : -1) << name;
        EXPECT_FALSE(box->isEditable()) << name;
    }
}

TEST_F(SettingsDialog, FailedWriteIsReportedAndTheDialogStays)
{
    // A directory where the file should be cannot be replaced.
    ASSERT_EQ(mkdir(configPath().c_str(), 0755), 0);
    form->show();
    EXPECT_EQ(keys(), DefaultKeys) << "a directory is no configuration file";
    click("Button1");
    EXPECT_EQ(reports, std::vector<std::string>{"Unable to write to " + configPath() + "."});
    EXPECT_TRUE(form->isVisible());
}

TEST_F(SettingsDialog, HotkeyNoteShowsOnlyWithoutAKeySource)
{
    // The offscreen platform has no X11 keyboard, as a Wayland session
    // without XWayland: the keys can be chosen and kept all the same.
    form->show();
    const QLabel* note = control<QLabel>("HotkeyNote");
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), "Hotkeys need an X11 session");
    for (const QWidget* other : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(other == note || !note->geometry().intersects(other->geometry())) << other->objectName().toStdString();
    combo("Next")->setCurrentText("F5");
    click("Button1");
    showAgain();
    EXPECT_EQ(form->ActionKey(THotkeyAction::Next), "F5");

    // With keys to listen to (an X11 session), the dialog is as it always was.
    TScriptedKeySource keys;
    SetKeySource(&keys);
    showAgain();
    EXPECT_FALSE(note->isVisible());
    EXPECT_EQ(form->size(), QSize(324, 396));

    // The desktop's portal bound other keys than chosen: the note says
    // which, in the dialog's words, also when the answer comes while the
    // dialog is open, and goes when all are as chosen.
    keys.Grants = {{"volume-down", ""}, {"next", "Ctrl+Alt+F5"}};
    ASSERT_TRUE(keys.OnGrants);
    keys.OnGrants();
    EXPECT_TRUE(note->isVisible());
    const QString said = "Desktop keys: Play next mp3 = Ctrl+Alt+F5, Volume - = none";
    EXPECT_EQ(note->toolTip().isEmpty() ? note->text() : note->toolTip(), said);
    EXPECT_TRUE(said.startsWith(note->text().chopped(1))) << note->text().toStdString();
    keys.Grants.clear();
    keys.OnGrants();
    EXPECT_FALSE(note->isVisible());

    // Every hide hands the live keys over, each with the id and the words
    // the desktop shows it by.
    keys.Asked.clear();
    combo("ExiT")->setCurrentText("F12");
    click("Button3");
    EXPECT_FALSE(keys.OnGrants) << "a hidden dialog hears of no change";
    SetKeySource(nullptr);
    ASSERT_EQ(keys.Asked.size(), 1u);
    std::vector<std::string> asked;
    for (const TActionKey& key : keys.Asked[0])
        asked.push_back(key.id + "=" + key.name + "=" + key.description);
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "random=/=Play random mp3", "next=F5=Play next mp3", "last=none=Play last mp3",
                         "pause-resume=*=Pause/Resume", "stop=none=Stop mp3", "exit=F12=Application Exit",
                         "volume-up=+=Volume +", "volume-down=-=Volume -"}));
}

// The main window shows and hides the dialog when it is shown, so the file's
// choices are live before the first tick; its Config button opens the dialog.
class SettingsInTheProgram : public AppFixture {};

TEST_F(SettingsInTheProgram, MainWindowLoadsTheFileAndConfigShowsTheDialog)
{
    InstallSkin();
    WriteBytes(exeDir.file("Config.ini"), "[Keys]\r\nNext=F5\r\n[Other]\r\nPlayrandom=no\r\n");
    CreateForms();
    ShowMainWindow();
    ASSERT_NE(Form3, nullptr);
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Form3->ActionKey(THotkeyAction::Next), "F5");
    EXPECT_FALSE(Form3->PlayRandomChecked());

    Form1->findChild<QPushButton*>("Button2")->click();
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsDialog, ScreenReaderHearsEachBoxByItsLabelWithItsKeyAsValue)
{
    form->show();
    const std::pair<const char*, const char*> boxes[] = {
        {"Random", "Play random mp3"}, {"Next", "Play next mp3"},        {"Last", "Play last mp3"},
        {"PauseResume", "Pause/Resume"}, {"Stop", "Stop mp3"},           {"ExiT", "Application Exit"},
        {"VolumePlus", "Volume +"},      {"VolumeMinus", "Volume -"},
    };
    for (size_t i = 0; i < std::size(boxes); ++i) {
        QAccessibleInterface* box = QAccessible::queryAccessibleInterface(combo(boxes[i].first));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->role(), QAccessible::ComboBox);
        EXPECT_EQ(box->text(QAccessible::Name), boxes[i].second);
        EXPECT_EQ(box->text(QAccessible::Value).toStdString(), DefaultKeys[i]);
        ASSERT_NE(box->textInterface(), nullptr);
        EXPECT_EQ(box->textInterface()->text(0, -1).toStdString(), DefaultKeys[i]);
    }
}
