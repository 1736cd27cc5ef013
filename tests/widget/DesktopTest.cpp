// The player on the desktop: files dropped on the list from a file manager,
// songs handed over on the command line ("Open with"), what counts as a
// song, and where the list and the settings live when the program's own
// folder is read-only.

#include "AppFixture.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "ScriptedMciLayer.h"
#include "Timer.h"
#include "Unprivileged.h"

#include <QDropEvent>
#include <QMimeData>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

using namespace quellora;
using namespace quellora::test;

namespace {

class Desktop : public AppFixture {
protected:
    std::shared_ptr<TScriptedMciLayer> mci = std::make_shared<TScriptedMciLayer>();

    void SetUp() override
    {
        AppFixture::SetUp();
        SetMciLayer(mci);
        CurrentFile.clear();
    }

    void TearDown() override
    {
        AppFixture::TearDown();
        SetMciLayer(nullptr);
    }

    void start(std::vector<std::string> params = {})
    {
        ASSERT_NO_FATAL_FAILURE(InstallSkin());
        CreateForms(std::move(params));
        Form1->GeT->SetEnabled(false);
        ShowMainWindow();
    }

    const ByteStrings& items() { return Form1->Mp3LisT()->Items().Items(); }

    // A drag from another program entering the list and dropped there, as
    // the toolkit delivers it; returns the action the list took.
    Qt::DropAction drop(const std::string& uriList)
    {
        QMimeData data;
        data.setData("text/uri-list", QByteArray(uriList.data(), qsizetype(uriList.size())));
        QWidget* target = Form1->Mp3LisT()->viewport();
        const Qt::DropActions offered = Qt::MoveAction | Qt::CopyAction;
        QDragEnterEvent enter(QPoint(20, 20), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return Qt::IgnoreAction;
        QDropEvent event(QPointF(20, 20), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
        QCoreApplication::processEvents();
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }
};

// Counts the times a file of the directory is replaced or written under one name.
class WriteCounter {
public:
    WriteCounter(const std::string& dir, std::string name) : name_(std::move(name))
    {
        fd_ = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~WriteCounter() { close(fd_); }
    int count()
    {
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + n;) {
                auto* e = reinterpret_cast<inotify_event*>(at);
                if (e->len && name_ == e->name)
                    ++count_;
                at += sizeof(inotify_event) + e->len;
            }
        return count_;
    }

private:
    int fd_;
    std::string name_;
    int count_ = 0;
};

std::string mpegFrame()
{
    // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, then silence.
    return std::string("\xFF\xFB\x90\x64", 4) + std::string(400, '\0');
}

std::string id3Tag()
{
    return std::string("ID3\x03\x00\x00\x00\x00\x00\x0A", 10) + std::string(10, '\0') + mpegFrame();
}

} // namespace

TEST_F(Desktop, MixedDropLoadsListFilesFirstThenAddsSongsAndFoldersInOrderAndSavesOnce)
{
    start();
    WriteBytes(exeDir.file("Default.qfl"), "/old.mp3\r\n");
    const std::string from = exeDir.file("from/");
    QDir().mkpath(QString::fromStdString(from + "album"));
    const std::string odd = from + "caf\xE9 song.mp3"; // not UTF-8
    WriteBytes(odd, "x");
    WriteBytes(from + "tagged", id3Tag());
    WriteBytes(from + "album/a.mp3", "x");
    WriteBytes(from + "notes.txt", "not a song");
    WriteBytes(from + "one.qfl", "/l1.mp3\r\n");
    WriteBytes(from + "two.QFL", "/l2.mp3\n");
    WriteCounter saves(exeDir.path(), "Default.qfl");

    const std::string f = "file://" + from;
    const Qt::DropAction action = drop("# a comment\r\n" + f + "caf%E9%20song.mp3\r\n" + f + "album\r\n" + f +
                                       "notes.txt\r\n" + f + "one.qfl\r\nfile://elsewhere.example" + from +
                                       "tagged\r\nhttp://example.com/x.mp3\r\n" + f + "two.QFL\r\nfile://localhost" +
                                       from + "tagged");
    EXPECT_EQ(action, Qt::CopyAction);
    const ByteStrings expected{"/l1.mp3", "/l2.mp3", odd, from + "album/a.mp3", from + "tagged"};
    EXPECT_EQ(items(), expected);
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), JoinListText(expected));
    EXPECT_EQ(saves.count(), 1);
    unlink(odd.c_str()); // the temporary directory cannot remove a name that is not UTF-8
}

TEST_F(Desktop, DropOfAnUnreadableListIsReportedAndChangesNothing)
{
    start();
    WriteBytes(exeDir.file("Default.qfl"), "/old.mp3\r\n");
    Form1->Mp3LisT()->Items().Assign({"/old.mp3"});
    WriteBytes(exeDir.file("song.mp3"), "x");
    // A list file that opens but cannot be read, even by root.
    ASSERT_EQ(symlink("/proc/self/mem", exeDir.file("broken.qfl").c_str()), 0);
    drop("file://" + exeDir.file("song.mp3") + "\r\nfile://" + exeDir.file("broken.qfl") + "\r\n");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file " + exeDir.file("broken.qfl") + ".");
    EXPECT_EQ(items(), ByteStrings{"/old.mp3"});
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "/old.mp3\r\n");

    // Files of other kinds alone change nothing and save nothing.
    QFile::remove(QString::fromStdString(exeDir.file("Default.qfl")));
    WriteBytes(exeDir.file("notes.txt"), "text");
    drop("file://" + exeDir.file("notes.txt") + "\r\n");
    EXPECT_EQ(items(), ByteStrings{"/old.mp3"});
    EXPECT_FALSE(FileExists(exeDir.file("Default.qfl")));
}

TEST_F(Desktop, SongArgumentsJoinTheListOnceAndTheFirstPlays)
{
    WriteBytes(exeDir.file("Default.qfl"), "/d1.mp3\r\n");
    WriteBytes(exeDir.file("tune.mp3"), "x");
    WriteBytes(exeDir.file("tagged"), id3Tag());
    const std::string cwd = QDir::currentPath().toStdString();
    ASSERT_EQ(chdir(exeDir.path().c_str()), 0);
    start({"./tune.mp3", exeDir.file("tagged"), exeDir.file("missing.mp3"), "tune.mp3"});
    ASSERT_EQ(chdir(cwd.c_str()), 0);

    const ByteStrings expected{"/d1.mp3", exeDir.file("tune.mp3"), exeDir.file("tagged")};
    EXPECT_EQ(items(), expected);
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), JoinListText(expected));
    ASSERT_EQ(mci->CallsOf(MCI_OPEN).size(), 1u);
    EXPECT_EQ(mci->CallsOf(MCI_OPEN)[0].Element, exeDir.file("tune.mp3"));
    EXPECT_EQ(Form1->StatusLine(), "Playing <" + exeDir.file("tune.mp3") + ">");
    EXPECT_EQ(Form1->Mp3LisT()->ItemIndex(), 1);

    // Back from the tray: the list comes from Default.qfl, and nothing is added or started again.
    Form1->hide();
    ShowMainWindow();
    EXPECT_EQ(items(), expected);
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), JoinListText(expected));
    EXPECT_EQ(mci->CallsOf(MCI_OPEN).size(), 1u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Desktop, HandedOverArgumentsLoadListsAsLoadListAndPlaySongsOrOtherwiseRaiseTheWindow)
{
    start();
    WriteBytes(exeDir.file("mine.qfl"), "/l1.mp3\r\n/l2.mp3\r\n");
    WriteBytes(exeDir.file("tune.mp3"), "x");
    ASSERT_EQ(symlink("/proc/self/mem", exeDir.file("broken.qfl").c_str()), 0);
    Form1->TakeArguments({exeDir.file("mine.qfl"), exeDir.file("broken.qfl"), exeDir.file("tune.mp3")});
    // The unreadable list is reported and changes nothing; the rest goes on.
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot open file " + exeDir.file("broken.qfl") + "."});
    const ByteStrings expected{"/l1.mp3", "/l2.mp3", exeDir.file("tune.mp3")};
    EXPECT_EQ(items(), expected);
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), JoinListText(expected));
    EXPECT_EQ(Form1->StatusLine(), "Playing <" + exeDir.file("tune.mp3") + ">");

    // After a symbolic link, ".." goes where the disk leads: the song the
    // name stands for is the one that plays.
    ASSERT_EQ(mkdir(exeDir.file("real").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(exeDir.file("real/sub").c_str(), 0700), 0);
    ASSERT_EQ(symlink(exeDir.file("real/sub").c_str(), exeDir.file("link").c_str()), 0);
    WriteBytes(exeDir.file("real/linked.mp3"), "x");
    WriteBytes(exeDir.file("linked.mp3"), "x");
    char* real = realpath(exeDir.file("real").c_str(), nullptr);
    const std::string linked = std::string(real) + "/linked.mp3";
    free(real);
    Form1->TakeArguments({exeDir.file("link/../linked.mp3")});
    EXPECT_EQ(Form1->StatusLine(), "Playing <" + linked + ">");

    // A list alone replaces the list and leaves playback be; nothing to open raises.
    Form1->TakeArguments({exeDir.file("mine.qfl")});
    EXPECT_EQ(items(), (ByteStrings{"/l1.mp3", "/l2.mp3"}));
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "/l1.mp3\r\n/l2.mp3\r\n");
    EXPECT_EQ(Form1->StatusLine(), "Playing <" + linked + ">");
    // A file that is neither a song nor named as a list is left out: the
    // saved list stays.
    WriteBytes(exeDir.file("notes.txt"), "not\r\na list\r\n");
    Form1->TakeArguments({exeDir.file("notes.txt")});
    EXPECT_EQ(ReadBytes(exeDir.file("Default.qfl")), "/l1.mp3\r\n/l2.mp3\r\n");
    Form1->Button7Click();
    ASSERT_TRUE(Application().Minimized());
    Form1->TakeArguments({exeDir.file("gone.mp3")});
    EXPECT_FALSE(Application().Minimized());
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Desktop, SongsAreKnownByNameOrContentAndListFilesOfAnyOtherNameStayLists)
{
    const std::string d = exeDir.path();
    WriteBytes(d + "text.Mp3", "a name is enough");
    WriteBytes(d + "frame", mpegFrame());
    WriteBytes(d + "tagged", id3Tag());
    WriteBytes(d + "adts", std::string("\xFF\xF1\x50\x80", 4) + std::string(100, '\0')); // AAC
    WriteBytes(d + "bad-rate", std::string("\xFF\xFB\xF0\x64", 4));                      // bit rate 15
    WriteBytes(d + "fake-id3", "ID3 is a word in this list\r\n");
    WriteBytes(d + "tagged.qfl", id3Tag());
    QDir().mkpath(QString::fromStdString(d + "folder.mp3"));
    ASSERT_EQ(mkfifo((d + "pipe.mp3").c_str(), 0600), 0);
    WriteBytes(d + "empty", "");

    for (const char* song : {"text.Mp3", "frame", "tagged"})
        EXPECT_TRUE(IsSongFile(d + song)) << song;
    for (const char* other : {"adts", "bad-rate", "fake-id3", "tagged.qfl", "folder.mp3", "pipe.mp3", "empty", "gone.mp3"})
        EXPECT_FALSE(IsSongFile(d + other)) << other;

    // An argument that is no song is read as a list file, whatever its name.
    WriteBytes(d + "mylist.m3u", "/m1.mp3\r\n");
    start({d + "mylist.m3u", d + "fake-id3"});
    EXPECT_EQ(items(), ByteStrings{"ID3 is a word in this list"});
    EXPECT_TRUE(mci->CallsOf(MCI_OPEN).empty());
}

TEST_F(Desktop, SongsWithALineBreakInTheirNameOrThatCannotBeReadAreLeftOut)
{
    const std::string d = exeDir.path();
    QDir().mkpath(QString::fromStdString(d + "album"));
    for (const char* name : {"line\nbreak.mp3", "album/a.mp3", "album/carriage\rreturn.mp3", "ok.mp3"})
        WriteBytes(d + name, "x");
    WriteBytes(d + "Default.qfl", "");
    // Neither a song nor a list: the argument adds nothing and reports nothing.
    start({d + "line\nbreak.mp3"});
    EXPECT_TRUE(items().empty());
    EXPECT_TRUE(mci->CallsOf(MCI_OPEN).empty());
    drop("file://" + d + "line%0Abreak.mp3\r\nfile://" + d + "album\r\nfile://" + d + "ok.mp3\r\n");
    const ByteStrings expected{d + "album/a.mp3", d + "ok.mp3"};
    EXPECT_EQ(items(), expected);
    EXPECT_EQ(ReadBytes(d + "Default.qfl"), JoinListText(expected));
    EXPECT_TRUE(boxes.empty());

    // A song that cannot be read is no song to take (root reads anything: another user asks).
    WriteBytes(d + "locked.mp3", "x");
    ASSERT_EQ(chmod((d + "locked.mp3").c_str(), 0), 0);
    ASSERT_EQ(chmod(d.c_str(), 0755), 0);
    EXPECT_EQ(RunUnprivileged([&] {
                  return std::string(IsReadableSong(d + "ok.mp3") ? "ok " : "refused ") +
                         (IsReadableSong(d + "locked.mp3") ? "ok" : "refused");
              }),
              "ok refused");
}

TEST_F(Desktop, ReadOnlyProgramFolderKeepsListAndSettingsInTheUsersConfigFolder)
{
    // The writable folder keeps the places beside the executable.
    EXPECT_EQ(ConfigDir(), exeDir.path());

    WriteBytes(exeDir.file("Default.qfl"), "/seed.mp3\r\n");
    WriteBytes(exeDir.file("Config.ini"), "[Other]\r\nPlayrandom=no\r\n");
    TempDir home;
    const std::string config = home.file("config");
    ASSERT_EQ(chmod(home.path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(exeDir.path().c_str(), 0555), 0);
    const std::string result = RunUnprivileged([&] {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        std::string out = ConfigDir() + "\n";
        out += ReadBytes(config + "/quellora/Default.qfl") + ReadBytes(config + "/quellora/Config.ini");
        // A copy the user has changed is never replaced from the program's folder.
        WriteBytes(config + "/quellora/Default.qfl", "/mine.mp3\r\n");
        ConfigDir();
        out += ReadBytes(config + "/quellora/Default.qfl");
        // A relative XDG_CONFIG_HOME is not valid: ~/.config takes its place.
        setenv("XDG_CONFIG_HOME", "relative", 1);
        setenv("HOME", home.path().c_str(), 1);
        out += "\n" + ConfigDir();
        return out;
    });
    chmod(exeDir.path().c_str(), 0755);
    EXPECT_EQ(result, config + "/quellora/\n/seed.mp3\r\n[Other]\r\nPlayrandom=no\r\n/mine.mp3\r\n\n" + home.path() +
                          "/.config/quellora/");
    // A program under /usr belongs to the system: its folder is not written
    // even by a user who could (root), or a removed package would leave files.
    SetExeDirOverride("/usr/lib/");
    const std::string systemConfig = home.file("system");
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = before ? before : "";
    setenv("XDG_CONFIG_HOME", systemConfig.c_str(), 1);
    const std::string systemResult = ConfigDir();
    before ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    SetExeDirOverride(exeDir.path());
    EXPECT_EQ(systemResult, systemConfig + "/quellora/");
}
