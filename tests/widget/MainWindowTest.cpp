// The main window's life cycle: creation with and without a skin, what it
// loads when shown, its playlist menu and its housekeeping buttons.

#include "AppFixture.h"
#include "CoolTrayIcon.h"
#include "ListBox.h"
#include "Timer.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace quellora;
using namespace quellora::test;

namespace {

class MainWindow : public AppFixture {
protected:
    const ByteStrings& items() { return Form1->Mp3LisT()->Items().Items(); }

    void clickMenu(const char* caption)
    {
        for (QAction* action : Form1->LisTMenu->actions())
            if (action->text() == caption) {
                action->trigger();
                return;
            }
        FAIL() << "no menu entry " << caption;
    }
};

// Sets an environment variable, or unsets it (nullptr), for the object's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Counts the times a window is shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

} // namespace

TEST_F(MainWindow, WithoutSkinReportsBothFilesAndAsksToEndBeforeOtherWindowsExist)
{
    int formsAtFirstBox = -1;
    bool otherFormsExisted = true;
    onBox = [&](const ShownBox&) {
        if (formsAtFirstBox < 0) {
            formsAtFirstBox = Application().FormCount();
            otherFormsExisted = Form2 || Form3 || Form5;
        }
    };
    CreateForms();
    const std::string expected = "Could not load skin from <" + exeDir.path() +
                                 "Skin> Delete <Skin> directory and rename the <Skin2> directory to <Skin> or "
                                 "reinstall Quellora!";
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.kind, DialogKind::ErrorMessage);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.text, expected);
    }
    EXPECT_EQ(formsAtFirstBox, 1);
    EXPECT_FALSE(otherFormsExisted);
    EXPECT_TRUE(Application().Terminated());
    // Start-up is not cut short: every window exists and the show handler runs.
    ASSERT_TRUE(Form2 && Form3 && Form5);
    EXPECT_TRUE(Form1->SkinBitmap.isNull());
}

TEST_F(MainWindow, MissingBannerAloneIsReported)
{
    InstallSkin();
    QFile::remove(QString::fromStdString(exeDir.file("Skin/GifUp.gif")));
    CreateForms();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Application().Terminated());
    EXPECT_EQ(Form1->SkinBitmap.size(), QSize(513, 513));
}

TEST_F(MainWindow, BannerNameIsFoundWhateverItsLetterCase)
{
    InstallSkin();
    QFile::rename(QString::fromStdString(exeDir.file("Skin/GifUp.gif")),
                  QString::fromStdString(exeDir.file("Skin/GIFUP.GIF")));
    CreateForms();
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(Application().Terminated());
}

TEST_F(MainWindow, UnreadableSkinIsReportedAndTheWindowIsStillCreated)
{
    InstallSkin();
    WriteBytes(exeDir.file("Skin/Bck.bmp"), "this is not a bitmap");
    CreateForms();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, DialogKind::ErrorReport);
    EXPECT_EQ(boxes[0].caption, "Quellora");
    EXPECT_FALSE(Application().Terminated());
    ASSERT_NE(Form5, nullptr);
}

TEST_F(MainWindow, ShowLoadsDefaultListThenEachExistingArgumentThenTheSettings)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/d1.mp3\r\n/d2.mp3\r\n");
    WriteBytes(exeDir.file("first.qfl"), "/f1.mp3\r\n");
    WriteBytes(exeDir.file("second.qfl"), "/s1.mp3\r\n/s2.mp3\r\n");
    CreateForms({exeDir.file("first.qfl"), exeDir.file("missing.qfl"), exeDir.file("second.qfl")});
    ShowCounter settingsShows;
    Form3->installEventFilter(&settingsShows);
    ShowMainWindow();
    EXPECT_EQ(items(), (ByteStrings{"/s1.mp3", "/s2.mp3"}));
    EXPECT_EQ(settingsShows.shows, 1);
    EXPECT_FALSE(Form3->isVisible());
    // Nothing is saved at start-up.
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "/d1.mp3\r\n/d2.mp3\r\n");
}

TEST_F(MainWindow, MissingArgumentKeepsTheDefaultList)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/d1.mp3\r\n");
    CreateForms({exeDir.file("missing.qfl")});
    ShowMainWindow();
    EXPECT_EQ(items(), ByteStrings{"/d1.mp3"});
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindow, UnreadableArgumentIsReportedAndStartUpGoesOn)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/d1.mp3\r\n");
    // Opening it works, reading it fails, even for root.
    const std::string unreadable = "/proc/self/mem";
    CreateForms({unreadable, exeDir.path()});
    ShowCounter settingsShows;
    Form3->installEventFilter(&settingsShows);
    ShowMainWindow();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quellora");
    EXPECT_EQ(boxes[0].text, "Cannot open file " + unreadable + ".");
    // The list stays as it was, a directory argument is skipped, and the settings still load.
    EXPECT_EQ(items(), ByteStrings{"/d1.mp3"});
    EXPECT_EQ(settingsShows.shows, 1);
}

TEST_F(MainWindow, ShowingTheWindowAgainReloadsTheList)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/d1.mp3\r\n");
    CreateForms();
    ShowMainWindow();
    Form1->Mp3LisT()->Items().Add("/unsaved.mp3");
    Form1->hide();
    ShowMainWindow();
    EXPECT_EQ(items(), ByteStrings{"/d1.mp3"});
}

TEST_F(MainWindow, AddFileAppendsExistingFilesAndSavesTheDefaultList)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    const std::string song = exeDir.file("song.mp3");
    WriteBytes(song, "ID3");
    std::vector<TFileDialogRequest> requests;
    std::optional<std::string> answer = song;
    TFileDialog::SetScript([&](const TFileDialogRequest& r) {
        requests.push_back(r);
        return answer;
    });
    clickMenu("Add file");
    clickMenu("Add file");
    EXPECT_EQ(items(), (ByteStrings{song, song}));
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), song + "\r\n" + song + "\r\n");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].title, "Add mp3 to list");
    EXPECT_EQ(requests[0].filter, "Mp3 muzic files|*.mp3");
    EXPECT_EQ(requests[0].defaultExt, "mp3");
    EXPECT_EQ(requests[0].fileName, "");
    EXPECT_EQ(requests[1].fileName, song) << "the name last chosen is offered again";

    // Cancel, and a name that names no file, change nothing.
    answer = std::nullopt;
    clickMenu("Add file");
    answer = exeDir.file("nothing-here.mp3");
    clickMenu("Add file");
    EXPECT_EQ(items().size(), 2u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindow, FileDialogsOpenInTheMusicFolderOrHomeThenWhereAFileWasLastChosen)
{
    TempDir home;
    const std::string homeDir = home.path().substr(0, home.path().size() - 1);
    const ScopedEnv homeVar("HOME", homeDir.c_str());
    const ScopedEnv noUserDirs("XDG_CONFIG_HOME", nullptr);
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    const std::string song = exeDir.file("song.mp3");
    WriteBytes(song, "ID3");
    std::vector<std::string> folders;
    std::optional<std::string> answer;
    TFileDialog::SetScript([&](const TFileDialogRequest& r) {
        folders.push_back(r.initialDir);
        return answer;
    });
    clickMenu("Load list"); // no music folder yet; cancelled
    QDir().mkpath(QString::fromStdString(home.file("Music")));
    clickMenu("Save list");
    answer = song;
    clickMenu("Add file");
    answer = std::nullopt;
    clickMenu("Load list");
    clickMenu("Save list");
    const std::string chosenIn = exeDir.path().substr(0, exeDir.path().size() - 1);
    EXPECT_EQ(folders, (std::vector<std::string>{homeDir, home.file("Music"), home.file("Music"), chosenIn, chosenIn}));
}

TEST_F(MainWindow, LoadListReplacesTheListAndSavesIt)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/old.mp3\r\n");
    WriteBytes(exeDir.file("other.qfl"), "/a.mp3\n\n/b.mp3");
    CreateForms();
    ShowMainWindow();
    TFileDialog::SetScript([&](const TFileDialogRequest& r) -> std::optional<std::string> {
        EXPECT_EQ(r.title, "Open mp3 list");
        EXPECT_EQ(r.filter, "Quellora file list|*.qfl");
        EXPECT_EQ(r.defaultExt, "");
        return exeDir.file("other.qfl");
    });
    clickMenu("Load list");
    EXPECT_EQ(items(), (ByteStrings{"/a.mp3", "", "/b.mp3"}));
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "/a.mp3\r\n\r\n/b.mp3\r\n");
}

TEST_F(MainWindow, SaveListAddsTheExtensionAndLeavesTheDefaultListAlone)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/a.mp3\r\n");
    CreateForms();
    ShowMainWindow();
    Form1->Mp3LisT()->Items().Add("/b.mp3");
    std::optional<std::string> answer = exeDir.file("mylist");
    TFileDialog::SetScript([&](const TFileDialogRequest& r) {
        EXPECT_TRUE(r.save);
        EXPECT_EQ(r.defaultExt, "qfl");
        return answer;
    });
    clickMenu("Save list");
    EXPECT_EQ(ReadBytes(exeDir.file("mylist.qfl")), "/a.mp3\r\n/b.mp3\r\n");
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "/a.mp3\r\n");

    answer = std::nullopt;
    Form1->Mp3LisT()->Items().Add("/c.mp3");
    clickMenu("Save list");
    EXPECT_EQ(ReadBytes(exeDir.file("mylist.qfl")), "/a.mp3\r\n/b.mp3\r\n");
}

TEST_F(MainWindow, SaveListIntoMissingDirectoryIsReported)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    const std::string bad = exeDir.file("none/x.qfl");
    TFileDialog::SetScript([&](const TFileDialogRequest&) { return std::optional<std::string>(bad); });
    clickMenu("Save list");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quellora");
    EXPECT_EQ(boxes[0].text, "Cannot create file " + bad + ".");
}

TEST_F(MainWindow, ClearListLeavesAZeroByteDefaultList)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/a.mp3\r\n");
    CreateForms();
    ShowMainWindow();
    clickMenu("Clear list");
    EXPECT_TRUE(items().empty());
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "");
}

TEST_F(MainWindow, MenuHasItsFiveEntriesInOrder)
{
    InstallSkin();
    CreateForms();
    QStringList captions;
    for (QAction* action : Form1->LisTMenu->actions())
        captions << action->text();
    EXPECT_EQ(captions, (QStringList{"Add file", "Add directory", "Load list", "Save list", "Clear list"}));
}

TEST_F(MainWindow, ExitWithIdleStatusRequestsTermination)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    EXPECT_FALSE(Application().Terminated());
    Form1->Button1Click();
    EXPECT_TRUE(Application().Terminated());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindow, DialogButtonsShowTheirWindows)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    Form1->Button2Click();
    EXPECT_TRUE(Form3->isVisible());
    Form1->Button6Click();
    EXPECT_TRUE(Form5->isVisible());
    Form1->Adddirectory1Click();
    EXPECT_TRUE(Form2->isVisible());
}

TEST_F(MainWindow, MinimizeAndTrayClickRestoreTheWindow)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    Form1->Button7Click();
    EXPECT_TRUE(Application().Minimized());
    Form1->TrayIconClick();
    EXPECT_FALSE(Application().Minimized());
    EXPECT_TRUE(Form1->isVisible());
}

TEST_F(MainWindow, TheWindowComesBackWithTheFocusWhereTheUserLeftIt)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    QApplication::setActiveWindow(Form1);
    Form1->Mp3LisT()->setFocus();
    Application().Minimize();
    // Activated by the window manager as it went off the screen (after an
    // About link), the window handed its focus on to the next button.
    Form1->findChild<QPushButton*>("Button1")->setFocus();
    Form1->TrayIconClick();
    QApplication::setActiveWindow(Form1);
    EXPECT_TRUE(Form1->Mp3LisT()->hasFocus());
}

TEST_F(MainWindow, TrayIconCarriesTheHint)
{
    InstallSkin();
    CreateForms();
    EXPECT_EQ(Form1->TrayIcon->Hint(), "Quellora");
    EXPECT_TRUE(Form1->TrayIcon->IconVisible());
    EXPECT_TRUE(Form1->TrayIcon->MinimizeToTray);
}

TEST_F(MainWindow, FileNamesShowAsTextNotAsMarkup)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    Form1->GeT->SetEnabled(false); // no device plays: ticks would report that
    // A relative item such as "a song.mp3" reads like a tag between "<" and ">".
    auto* status = Form1->findChild<QLabel*>("Status");
    ASSERT_NE(status, nullptr);
    Form1->SetStatusLine("Playing <a song.mp3>");
    EXPECT_GE(status->width(), status->fontMetrics().horizontalAdvance("Playing <a song.mp3>"))
        << "the label shows the whole text";

    // The real message boxes, each closed as soon as it shows.
    SetDialogSink(nullptr);
    std::vector<std::pair<QString, Qt::TextFormat>> shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            shown.emplace_back(box->text(), label ? label->textFormat() : Qt::AutoText);
            box->done(0);
        }
    });
    closer.start(10);
    ShowErrorReport("Cannot open file <b>bold</b>.qfl");
    MessageDlgError("<Skin> and <b>side</b>");
    closer.stop();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, "Cannot open file <b>bold</b>.qfl.");
    EXPECT_EQ(shown[1].first, "<Skin> and <b>side</b>");
    for (const auto& [text, format] : shown)
        EXPECT_EQ(format, Qt::PlainText) << text.toStdString();
}

TEST_F(MainWindow, ScreenReaderSeesTheItemsFocusedOnlyWithTheListAndNoneOutlivingItsRow)
{
    InstallSkin();
    WriteBytes(exeDir.file("Default.qfl"), "/a.mp3\r\n/b.mp3\r\n/c.mp3\r\n");
    CreateForms();
    ShowMainWindow();
    QApplication::setActiveWindow(Form1);
    TListBox* list = Form1->Mp3LisT();
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->role(), QAccessible::List);
    EXPECT_EQ(view->text(QAccessible::Name), "Mp3 list");
    ASSERT_EQ(view->childCount(), 3);
    QAccessibleInterface* second = view->child(1);
    EXPECT_EQ(second->role(), QAccessible::ListItem);
    EXPECT_EQ(second->text(QAccessible::Name), "/b.mp3");
    EXPECT_EQ(second->parent(), view);
    EXPECT_EQ(view->indexOfChild(second), 1);

    list->SetItemIndex(1);
    list->setFocus();
    ASSERT_TRUE(list->hasFocus());
    EXPECT_TRUE(second->state().focused);
    EXPECT_TRUE(second->state().selected);
    EXPECT_EQ(view->focusChild(), second);
    // The current item keeps its selection but not the focus once the list loses it.
    Form1->findChild<QPushButton*>("Button1")->setFocus();
    EXPECT_FALSE(second->state().focused);
    EXPECT_TRUE(second->state().selected);
    EXPECT_EQ(view->focusChild(), nullptr);

    // A change of the rows drops the items' interfaces; the new rows have their own.
    const QAccessible::Id old = QAccessible::uniqueId(second);
    clickMenu("Clear list");
    EXPECT_EQ(QAccessible::accessibleInterface(old), nullptr);
    EXPECT_EQ(view->childCount(), 0);
    EXPECT_EQ(view->child(0), nullptr);
    list->Items().Add("/d.mp3");
    ASSERT_NE(view->child(0), nullptr);
    EXPECT_EQ(view->child(0)->text(QAccessible::Name), "/d.mp3");
}
