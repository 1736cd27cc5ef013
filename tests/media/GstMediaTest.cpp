// The real GStreamer device under the player component, on MP3 files made
// here with lame (with an Info header) and sox (without one), playing into
// the real-time fake sink that the test environment selects.

#include "AppFixture.h"
#include "Exceptions.h"
#include "GstMciDevice.h"
#include "MPlayer.h"
#include "TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <set>

using namespace quellora;
using namespace quellora::test;

namespace {

TempDir* fixtures = nullptr;

std::string Fixture(const std::string& name)
{
    return fixtures->file(name);
}

void Shell(const std::string& command)
{
    ASSERT_EQ(std::system(("set -e; " + command).c_str()), 0) << command;
}

// Keeps the Qt loop turning until `done`, for at most `boundMs`.
bool PollUntil(const std::function<bool()>& done, int boundMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > boundMs)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

std::set<int> OpenDescriptorNumbers()
{
    std::set<int> numbers;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                numbers.insert(std::atoi(entry->d_name));
        numbers.erase(::dirfd(dir));
        ::closedir(dir);
    }
    return numbers;
}

int OpenDescriptors()
{
    return int(OpenDescriptorNumbers().size());
}

// Lowers this process's descriptor limit, while it lives, so that exactly
// `free` descriptors can still be opened.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int free)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const std::set<int> used = OpenDescriptorNumbers();
        rlimit lowered = saved_;
        lowered.rlim_cur = 0;
        for (int unused = 0; unused < free; ++lowered.rlim_cur)
            unused += !used.count(int(lowered.rlim_cur));
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

// What the playback controller sees at each tick: the gauge holds the
// position within the length, and the file has ended when they meet.
struct Tick {
    std::int32_t length;
    std::int32_t position;
    bool ended() const { return std::min(position, length) == length; }
};

Tick Sample(TMediaPlayer& player)
{
    const std::int32_t length = player.TrackLength(1);
    return {length, player.Position()};
}

// Takes the permission override away from this thread, so that a file
// without read permission is unreadable for root too.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPermissionOverride()
    {
        if (active_)
            syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// The MP3 files of the tests, made once for the whole run.
void MakeFixtures()
{
    if (fixtures)
        return;
    fixtures = new TempDir;
    // Constant bit rate: lame writes an Info header that states the length.
    const std::string sine = "sox -n -r 44100 -c 1 -b 16 -t wav - synth %g sine 440 2>/dev/null | lame --quiet -b 64 - ";
    for (double seconds : {0.3, 1.0, 3.0}) {
        char command[256];
        std::snprintf(command, sizeof command, sine.c_str(), seconds);
        Shell(command + Fixture(seconds < 1 ? "short.mp3" : std::to_string(int(seconds)) + "s.mp3"));
    }
    // sox writes plain constant-bit-rate frames: no header states the length.
    Shell("sox -n -r 44100 -c 2 " + Fixture("raw.mp3") + " synth 2 sine 440 2>/dev/null");
}

void DropFixtures()
{
    delete fixtures;
    fixtures = nullptr;
}

class GstDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { MakeFixtures(); }
    static void TearDownTestSuite() { DropFixtures(); }

    TMediaPlayer player;

    void open(const std::string& name)
    {
        player.FileName = Fixture(name);
        player.Open();
    }

    // Plays on until the controller would see the end; every tick before it
    // must find the device still playing.
    Tick playToEnd(int boundMs = 15000)
    {
        Tick tick{};
        bool endedEarly = false;
        const bool ended = PollUntil(
            [&] {
                tick = Sample(player);
                if (tick.ended() && player.QueryMode() != mpStopped)
                    endedEarly = true;
                return tick.ended();
            },
            boundMs);
        EXPECT_TRUE(ended) << "still at " << tick.position << " of " << tick.length;
        EXPECT_FALSE(endedEarly);
        return tick;
    }
};

TEST_F(GstDevice, FixturesAreWhatTheTestsNeed)
{
    EXPECT_NE(ReadBytes(Fixture("1s.mp3")).find("Info"), std::string::npos);
    const std::string raw = ReadBytes(Fixture("raw.mp3"));
    EXPECT_GT(raw.size(), 20000u);
    EXPECT_EQ(raw.find("Info"), std::string::npos);
    EXPECT_EQ(raw.find("Xing"), std::string::npos);
}

TEST_F(GstDevice, PlaysToTheEndWherePositionEqualsLengthAndNotifiesOnTheUiThread)
{
    QThread* notifiedOn = nullptr;
    player.OnNotify = [&] { notifiedOn = QThread::currentThread(); };
    open("1s.mp3");
    const std::int32_t length = player.TrackLength(1);
    EXPECT_GE(length, 1000);
    EXPECT_LE(length, 1100);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.QueryMode(), mpStopped);

    player.Play();
    EXPECT_EQ(player.LastError(), 0u);
    EXPECT_EQ(player.QueryMode(), mpPlaying);
    const Tick end = playToEnd();
    EXPECT_EQ(end.length, length);
    EXPECT_EQ(end.position, length);
    EXPECT_EQ(player.Position(), player.TrackLength(1));

    ASSERT_TRUE(PollUntil([&] { return notifiedOn != nullptr; }, 5000));
    EXPECT_EQ(notifiedOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(player.NotifyResult(), nvSuccessful);
}

TEST_F(GstDevice, CompletionArrivesWithNoQueryToFetchIt)
{
    // The message loop as the program runs it: it sleeps until an event comes.
    QEventLoop loop;
    bool notified = false;
    player.OnNotify = [&] {
        notified = true;
        loop.quit();
    };
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    open("1s.mp3");
    player.Play();
    loop.exec();
    ASSERT_TRUE(notified) << "the end of the file was never announced";
    EXPECT_EQ(player.NotifyResult(), nvSuccessful);
    EXPECT_EQ(player.Position(), player.TrackLength(1));
}

TEST_F(GstDevice, PauseResumeStopAndPlayOnFromTheSamePlace)
{
    open("3s.mp3");
    player.Play();
    ASSERT_TRUE(PollUntil([&] { return player.Position() >= 400; }, 5000));

    player.Pause();
    EXPECT_EQ(player.QueryMode(), mpPaused);
    const std::int32_t paused = player.Position();
    EXPECT_FALSE(PollUntil([&] { return player.Position() != paused; }, 300)) << "moved while paused";

    player.Pause(); // toggles back
    EXPECT_EQ(player.QueryMode(), mpPlaying);
    ASSERT_TRUE(PollUntil([&] { return player.Position() > paused + 200; }, 5000));

    player.Stop();
    EXPECT_EQ(player.QueryMode(), mpStopped);
    const std::int32_t stopped = player.Position();
    EXPECT_FALSE(PollUntil([&] { return player.Position() != stopped; }, 300)) << "moved while stopped";
    player.Pause(); // nothing to toggle when stopped
    EXPECT_EQ(player.QueryMode(), mpStopped);

    // The device refuses to resume a stopped file; the player plays on instead.
    player.Resume();
    EXPECT_EQ(player.LastError(), 0u);
    EXPECT_EQ(player.QueryMode(), mpPlaying);
    EXPECT_GE(player.Position(), stopped);
    ASSERT_TRUE(PollUntil([&] { return player.Position() > stopped + 200; }, 5000));
    player.Stop();
    const std::int32_t again = player.Position();
    player.Play();
    EXPECT_GE(player.Position(), again);
    playToEnd();
}

TEST_F(GstDevice, PlayAfterTheEndStartsFromTheBeginningUnlessAutoRewindIsOff)
{
    open("1s.mp3");
    player.Play();
    const Tick end = playToEnd();

    player.AutoRewind = false;
    player.Play();
    EXPECT_EQ(player.QueryMode(), mpStopped);
    EXPECT_EQ(player.Position(), end.length);

    player.AutoRewind = true;
    player.Play();
    EXPECT_EQ(player.QueryMode(), mpPlaying);
    EXPECT_LT(player.Position(), 300);
    EXPECT_EQ(playToEnd().position, end.length);
}

// The device answers the volume question from its pipeline's own gain, not
// from a number it keeps: a volume that never reaches the pipeline reads back
// as the old one.
TEST_F(GstDevice, VolumeReadsBackWhatWasSet)
{
    open("3s.mp3");
    EXPECT_EQ(GetVolume(player), 1000);
    for (int volume : {0, 457, 1000, 100}) {
        SetVolume(player, volume);
        EXPECT_EQ(GetVolume(player), volume);
    }
    SetVolume(player, 1001);
    SetVolume(player, -1);
    EXPECT_EQ(GetVolume(player), 100) << "out-of-range volumes are refused";
    player.Play();
    ASSERT_TRUE(PollUntil([&] { return player.Position() > 100; }, 5000));
    EXPECT_EQ(GetVolume(player), 100);
    EXPECT_EQ(player.LastError(), 0u);

    player.Close();
    EXPECT_EQ(GetVolume(player), 0);
}

TEST_F(GstDevice, EveryClosedDeviceGivesBackItsPipelineAndDescriptors)
{
    // The first file starts GStreamer, which keeps what it opens for good.
    open("short.mp3");
    player.Play();
    playToEnd();
    player.Close();
    const int descriptors = OpenDescriptors();
    const int pipelines = TGstMciDevice::LivePipelines();

    WriteBytes(Fixture("words.mp3"), std::string(4000, 'x'));
    for (int track = 0; track < 20; ++track) {
        SCOPED_TRACE(track);
        open("short.mp3");
        ASSERT_EQ(TGstMciDevice::LivePipelines(), pipelines + 1) << "the open device holds one";
        player.Play();
        playToEnd();
        player.Close();
        // A file that fails to open leaves nothing behind either.
        player.FileName = Fixture("words.mp3");
        EXPECT_THROW(player.Open(), EMCIDeviceError);
    }
    EXPECT_EQ(TGstMciDevice::LivePipelines(), pipelines);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(GstDevice, OpenRefusesClearlyWhileDescriptorsAreStillLeftForTheReport)
{
    open("short.mp3"); // GStreamer starts
    player.Close();
    const int descriptors = OpenDescriptors();
    std::string message = "(nothing raised)";
    {
        DescriptorLimit limit(TGstMciDevice::DescriptorsNeeded);
        try {
            open("short.mp3");
        } catch (const EMCIDeviceError& e) {
            message = e.Message;
        }
        EXPECT_FALSE(player.DeviceOpen());
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
    EXPECT_EQ(message, "Too many files are open: the player cannot open another one.");

    // One more, for the file itself, and a whole pipeline fits.
    DescriptorLimit limit(TGstMciDevice::DescriptorsNeeded + 1);
    open("short.mp3");
    player.Play();
    playToEnd();
}

TEST_F(GstDevice, FileWithoutLengthHeaderPlaysToItsEndWithAMovingGauge)
{
    open("raw.mp3");
    // Before a frame has played the length is estimated from the bit rate.
    const Tick start = Sample(player);
    EXPECT_FALSE(start.ended());
    EXPECT_GE(start.length, 1500);
    EXPECT_LE(start.length, 2500);

    player.Play();
    std::set<std::int32_t> positions;
    std::int32_t realLength = 0;
    Tick tick{};
    bool endedEarly = false;
    ASSERT_TRUE(PollUntil(
        [&] {
            tick = Sample(player);
            positions.insert(tick.position);
            if (!tick.ended())
                realLength = tick.length;
            else if (player.QueryMode() != mpStopped)
                endedEarly = true;
            return tick.ended();
        },
        15000));
    EXPECT_FALSE(endedEarly);
    EXPECT_GE(tick.position, 1950);
    EXPECT_GE(realLength, 1950) << "the real length appears while playing";
    EXPECT_LE(realLength, 2100);
    EXPECT_EQ(tick.length, realLength);
    EXPECT_GT(positions.size(), 20u) << "the gauge moved";
}

TEST_F(GstDevice, FileNamesAreBytes)
{
    const std::string odd = Fixture("caf\xe9 #1 %20?.mp3");
    WriteBytes(odd, ReadBytes(Fixture("1s.mp3")));
    player.FileName = odd;
    player.Open();
    EXPECT_GE(player.TrackLength(1), 1000);
    player.Close();
    ::unlink(odd.c_str()); // a name Qt cannot decode, so the temporary directory cannot remove it
}

struct BadFile {
    const char* name;
    std::function<std::string()> make; // returns the path
    const char* message;
};

TEST_F(GstDevice, BadFilesFailAtOnceWithAClearMessageAndLeaveNothingOpen)
{
    const std::string notSound = "The file is not a sound file that can be played.";
    const std::string notAFile = "The name is a pipe, socket or device, not a file that can be played.";
    const std::vector<BadFile> files = {
        {"missing", [] { return Fixture("missing.mp3"); }, "The file does not exist."},
        {"directory",
         [] {
             mkdir(Fixture("dir.mp3").c_str(), 0755);
             return Fixture("dir.mp3");
         },
         "The name is a directory, not a file."},
        {"empty",
         [] {
             WriteBytes(Fixture("empty.mp3"), "");
             return Fixture("empty.mp3");
         },
         "The file is empty."},
        {"text",
         [] {
             std::string text;
             for (int i = 0; i < 200; ++i)
                 text += "This is a list of songs, not a song.\n";
             WriteBytes(Fixture("text.mp3"), text);
             return Fixture("text.mp3");
         },
         notSound.c_str()},
        {"random bytes",
         [] {
             std::mt19937 random(20240531);
             std::string bytes(30000, '\0');
             for (char& byte : bytes)
                 byte = char(random());
             WriteBytes(Fixture("random.mp3"), bytes);
             return Fixture("random.mp3");
         },
         notSound.c_str()},
        {"picture",
         [] {
             Shell("convert -size 64x64 xc:red png:" + Fixture("picture.mp3"));
             return Fixture("picture.mp3");
         },
         notSound.c_str()},
        {"fifo",
         [] {
             mkfifo(Fixture("fifo.mp3").c_str(), 0644);
             return Fixture("fifo.mp3");
         },
         notAFile.c_str()},
        {"device", [] { return std::string("/dev/zero"); }, notAFile.c_str()},
    };
    for (const BadFile& bad : files) {
        SCOPED_TRACE(bad.name);
        open("1s.mp3");
        const int previous = player.MciDevice();
        player.FileName = bad.make();
        QElapsedTimer clock;
        clock.start();
        std::string message = "(nothing raised)";
        try {
            player.Open();
        } catch (const EMCIDeviceError& e) {
            message = e.Message;
        }
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(message, bad.message);
        EXPECT_FALSE(player.DeviceOpen());
        EXPECT_EQ(player.MciDevice(), 0);
        // The earlier device is gone too.
        EXPECT_EQ(player.Layer().SendCommand(previous, MCI_STOP, MCI_WAIT, nullptr), MCIERR_INVALID_DEVICE_ID);
    }
}

TEST_F(GstDevice, UnreadableFileFailsWithAClearMessage)
{
    const std::string path = Fixture("locked.mp3");
    WriteBytes(path, ReadBytes(Fixture("1s.mp3")));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    std::string message = "(nothing raised)";
    {
        WithoutPermissionOverride guard;
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd >= 0) {
            ::close(fd);
            chmod(path.c_str(), 0644);
            GTEST_SKIP() << "this process may read any file";
        }
        player.FileName = path;
        try {
            player.Open();
        } catch (const EMCIDeviceError& e) {
            message = e.Message;
        }
    }
    chmod(path.c_str(), 0644);
    EXPECT_EQ(message, "The file cannot be read (no permission, or an input/output error).");
    EXPECT_FALSE(player.DeviceOpen());
}

// The main window's own player, on the real device.
class MainWindowPlayer : public AppFixture {
protected:
    static void SetUpTestSuite() { MakeFixtures(); }
    static void TearDownTestSuite() { DropFixtures(); }
};

TEST_F(MainWindowPlayer, PlaysARealFileToItsEndAndClosesItWhenTheWindowCloses)
{
    InstallSkin();
    CreateForms();
    TMediaPlayer& player = *Form1->PLayer;
    player.FileName = Fixture("1s.mp3");
    player.Open();
    player.Play();
    ASSERT_TRUE(PollUntil([&] { return Sample(player).ended(); }, 10000));
    EXPECT_EQ(player.Position(), 1000);
    const MCIDEVICEID id = player.MciDevice();
    const std::shared_ptr<TMciLayer> layer = MciLayer(); // outlives the player for a last look
    ASSERT_EQ(layer.get(), &player.Layer());
    Form1->close();
    EXPECT_EQ(Form1->PLayer, nullptr);
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_MODE;
    EXPECT_EQ(layer->SendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &status), MCIERR_INVALID_DEVICE_ID);
}

} // namespace
