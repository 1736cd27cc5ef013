// The add-directory dialog: Ok scans, appends, saves and hides; Cancel
// empties the edit; Enter and Escape work from every control; the folder
// chooser fills the edit.

#include "AppFixture.h"
#include "ListBox.h"
#include "ToolEdit.h"
#include "ui_Unit2.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace quellora;
using namespace quellora::test;

namespace {

class AddDirectory : public AppFixture {
protected:
    TempDir music;

    void SetUp() override
    {
        AppFixture::SetUp();
        InstallSkin();
        CreateForms();
        ShowMainWindow();
        TDirectoryEdit::SetScript([](const TBrowseRequest&) -> std::optional<std::string> {
            ADD_FAILURE() << "unexpected folder chooser";
            return std::nullopt;
        });
    }

    void TearDown() override
    {
        TDirectoryEdit::SetScript(nullptr);
        AppFixture::TearDown();
    }

    TDirectoryEdit* edit() { return Form2->ui->Directory; }
    const ByteStrings& items() { return Form1->Mp3LisT()->Items().Items(); }
    std::string defaultList() { return ReadBytes(exeDir.file("Default.qfl")); }

    void open(const std::string& text)
    {
        Form1->Adddirectory1Click();
        ASSERT_TRUE(Form2->isVisible());
        edit()->SetText(text);
    }

    static void type(QWidget* target, Qt::Key key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Escape ? "\x1b" : "\r");
        QApplication::sendEvent(target, &press);
    }
};

} // namespace

TEST_F(AddDirectory, OkAppendsTheMp3FilesSavesAndHidesKeepingTheText)
{
    WriteBytes(music.file("one.mp3"), "x");
    WriteBytes(music.file("cover.jpg"), "x");
    Form1->Mp3LisT()->Items().Add("/before.mp3");
    const std::string dir = music.path().substr(0, music.path().size() - 1);

    open(dir);
    Form2->ui->Button1->click();
    EXPECT_EQ(items(), (ByteStrings{"/before.mp3", dir + "/one.mp3"}));
    EXPECT_EQ(defaultList(), "/before.mp3\r\n" + dir + "/one.mp3\r\n");
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(edit()->Text(), dir);

    // The same directory again adds its files again.
    Form1->Adddirectory1Click();
    Form2->ui->Button1->click();
    EXPECT_EQ(items(), (ByteStrings{"/before.mp3", dir + "/one.mp3", dir + "/one.mp3"}));
    EXPECT_EQ(defaultList(), "/before.mp3\r\n" + dir + "/one.mp3\r\n" + dir + "/one.mp3\r\n");
}

TEST_F(AddDirectory, OkSavesTheListAlsoWhenNothingWasAdded)
{
    ASSERT_FALSE(FileExists(exeDir.file("Default.qfl")));
    open(music.file("missing"));
    Form2->ui->Button1->click();
    EXPECT_TRUE(FileExists(exeDir.file("Default.qfl")));
    EXPECT_EQ(defaultList(), "");
    EXPECT_TRUE(items().empty());
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(AddDirectory, CancelEmptiesTheEditAndHidesWithoutSaving)
{
    WriteBytes(music.file("one.mp3"), "x");
    open(music.path());
    Form2->ui->Button2->click();
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(edit()->Text(), "");
    EXPECT_TRUE(items().empty());
    EXPECT_FALSE(FileExists(exeDir.file("Default.qfl")));
}

TEST_F(AddDirectory, EnterRunsOkAndEscapeRunsCancelFromEveryControl)
{
    WriteBytes(music.file("one.mp3"), "x");
    const std::string dir = music.path().substr(0, music.path().size() - 1);
    const std::vector<QWidget*> targets{edit(), Form2->ui->Button1, Form2->ui->Button2, Form2};

    size_t expected = 0;
    for (QWidget* target : targets) {
        open(dir);
        type(target, Qt::Key_Return);
        EXPECT_EQ(items().size(), ++expected) << target->objectName().toStdString();
        EXPECT_FALSE(Form2->isVisible());
        EXPECT_EQ(edit()->Text(), dir) << "Enter is not typed into the edit";

        open(dir);
        type(target, Qt::Key_Escape);
        EXPECT_EQ(items().size(), expected) << target->objectName().toStdString();
        EXPECT_FALSE(Form2->isVisible());
        EXPECT_EQ(edit()->Text(), "");
    }
}

TEST_F(AddDirectory, BrowseStartsInTheEditsFolderElseInitialDirElseRoot)
{
    std::vector<std::string> starts;
    std::optional<std::string> answer;
    TDirectoryEdit::SetScript([&](const TBrowseRequest& request) {
        starts.push_back(request.startDir);
        return answer;
    });
    TempDir other;
    const std::string otherDir = other.path().substr(0, other.path().size() - 1);

    // Confirmed: the trailing "/" goes, the text is replaced, InitialDir remembers it.
    open(music.path());
    answer = other.path();
    Form2->ui->Button1->setFocus();
    edit()->Button()->click();
    EXPECT_EQ(edit()->Text(), otherDir);
    EXPECT_EQ(edit()->InitialDir, otherDir);
    EXPECT_EQ(Form2->focusWidget(), edit());

    // Cancelled: the typed text stays, even a folder that does not exist.
    answer.reset();
    edit()->SetText(music.file("nowhere"));
    edit()->Button()->click();
    EXPECT_EQ(edit()->Text(), music.file("nowhere"));

    edit()->SetText("");
    edit()->Button()->click();
    edit()->InitialDir = "";
    edit()->Button()->click();

    // The root keeps its "/".
    answer = "/";
    edit()->Button()->click();
    EXPECT_EQ(edit()->Text(), "/");

    EXPECT_EQ(starts, (std::vector<std::string>{music.path(), "/", otherDir, "/", "/"}));
}

TEST_F(AddDirectory, NoKeyOpensTheChooserFromTheEdit)
{
    int opened = 0;
    TDirectoryEdit::SetScript([&](const TBrowseRequest&) -> std::optional<std::string> {
        ++opened;
        return std::nullopt;
    });
    open("");
    QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Down, Qt::AltModifier);
    QApplication::sendEvent(edit(), &altDown);
    EXPECT_EQ(opened, 0);

    // A plain directory edit opens it with its own key.
    TDirectoryEdit plain;
    QApplication::sendEvent(&plain, &altDown);
    EXPECT_EQ(opened, 1);
}

TEST_F(AddDirectory, TheFolderChooserIsQtsOwnDirectoryDialog)
{
    TDirectoryEdit::SetScript(nullptr);
    TempDir target;
    const std::string targetDir = target.path().substr(0, target.path().size() - 1);
    open(music.path());

    QString shownDir;
    bool wasDirectoryMode = false;
    // Answers the dialog once it runs; rejects anything unexpected so that nothing blocks.
    auto answer = [&](bool accept) {
        QTimer::singleShot(50, [&, accept] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no folder chooser open";
                return;
            }
            shownDir = dialog->directory().absolutePath();
            wasDirectoryMode = dialog->fileMode() == QFileDialog::Directory;
            if (accept) {
                dialog->setDirectory(QString::fromStdString(targetDir));
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                dialog->reject();
            }
        });
    };

    answer(true);
    edit()->Button()->click();
    EXPECT_TRUE(wasDirectoryMode);
    EXPECT_EQ(shownDir.toStdString() + "/", music.path());
    EXPECT_EQ(edit()->Text(), targetDir);

    answer(false);
    edit()->Button()->click();
    EXPECT_EQ(shownDir.toStdString(), targetDir);
    EXPECT_EQ(edit()->Text(), targetDir);
}
