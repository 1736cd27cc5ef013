// The player component against a recording device: the commands, flags and
// fields it sends for each operation, its one-shot overrides, LastError, the
// open and closed states, and completion notifications.

#include "Dialogs.h"
#include "Exceptions.h"
#include "MPlayer.h"
#include "ScriptedMciLayer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

using namespace quellora;

namespace {


class MediaPlayer : public ::testing::Test {
protected:
    std::shared_ptr<TScriptedMciLayer> mci = std::make_shared<TScriptedMciLayer>();
    std::unique_ptr<TMediaPlayer> player = std::make_unique<TMediaPlayer>(nullptr, mci);

    std::uintptr_t self() const { return MciCallbackOf(player.get()); }

    // Opens "song.mp3" and forgets the commands of the open.
    MCIDEVICEID openSong(std::uint32_t length = 5000)
    {
        mci->Lengths["song.mp3"] = length;
        player->FileName = "song.mp3";
        player->Open();
        mci->Calls.clear();
        return player->MciDevice();
    }

    TScriptedMciLayer::Device& device() { return *mci->Find(player->MciDevice()); }

    std::string raised(const std::function<void()>& operation)
    {
        try {
            operation();
        } catch (const EMCIDeviceError& e) {
            return e.Message;
        }
        return "(nothing raised)";
    }
};

TEST_F(MediaPlayer, StartsClosedWithItsDefaults)
{
    EXPECT_EQ(player->FileName, "");
    EXPECT_EQ(player->DeviceType, dtAutoSelect);
    EXPECT_FALSE(player->AutoOpen);
    EXPECT_TRUE(player->AutoRewind);
    EXPECT_TRUE(player->AutoEnable);
    EXPECT_FALSE(player->Shareable);
    EXPECT_EQ(player->Display, nullptr);
    EXPECT_TRUE(player->EnabledButtons.all() && player->VisibleButtons.all() && player->ColoredButtons.all());
    EXPECT_FALSE(player->DeviceOpen());
    EXPECT_EQ(player->MciDevice(), 0);
    EXPECT_EQ(player->LastError(), 0u);
    EXPECT_FALSE(player->isVisible());
    EXPECT_TRUE(mci->Calls.empty());

    const char* names[] = {"",        "AVIVideo", "CDAudio",   "DAT", "DigitalVideo", "MMMovie",  "Other",
                           "Overlay", "Scanner",  "Sequencer", "VCR", "Videodisc",    "WaveAudio"};
    for (int type = dtAutoSelect; type <= dtWaveAudio; ++type)
        EXPECT_STREQ(TMediaPlayer::DeviceTypeName(TMPDeviceTypes(type)), names[type]);
}

TEST_F(MediaPlayer, OpenSendsTheFileAndReadsWhatTheDeviceCanDo)
{
    mci->Lengths["/music/a.mp3"] = 123456;
    player->FileName = "/music/a.mp3";
    player->Open();

    ASSERT_EQ(mci->Calls.size(), 8u);
    const TMciCall& open = mci->Calls[0];
    EXPECT_EQ(open.Command, MCI_OPEN);
    EXPECT_EQ(open.Device, 0);
    EXPECT_EQ(open.Flags, MCI_WAIT | MCI_OPEN_ELEMENT);
    EXPECT_EQ(open.Element, "/music/a.mp3");
    EXPECT_EQ(open.DeviceType, "");
    EXPECT_EQ(open.Callback, self());

    EXPECT_TRUE(player->DeviceOpen());
    EXPECT_EQ(player->MciDevice(), 1);
    const TMciCall& length = mci->Calls[1];
    EXPECT_EQ(length.Command, MCI_STATUS);
    EXPECT_EQ(length.Flags, MCI_STATUS_ITEM | MCI_WAIT);
    EXPECT_EQ(length.Item, MCI_STATUS_LENGTH);
    EXPECT_EQ(player->Frames(), 12345);

    const std::uint32_t caps[] = {MCI_GETDEVCAPS_CAN_PLAY, MCI_GETDEVCAPS_CAN_RECORD, MCI_GETDEVCAPS_CAN_EJECT,
                                  MCI_GETDEVCAPS_HAS_VIDEO, MCI_GETDEVCAPS_DEVICE_TYPE};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(mci->Calls[2 + i].Command, MCI_GETDEVCAPS);
        EXPECT_EQ(mci->Calls[2 + i].Device, 1);
        EXPECT_EQ(mci->Calls[2 + i].Flags, MCI_GETDEVCAPS_ITEM | MCI_WAIT);
        EXPECT_EQ(mci->Calls[2 + i].Item, caps[i]);
    }
    EXPECT_EQ(mci->Calls[7].Command, MCI_WHERE);
    EXPECT_EQ(mci->Calls[7].Flags, MCI_DGV_WHERE_SOURCE);
    EXPECT_TRUE(player->CanPlay());
    EXPECT_FALSE(player->CanRecord() || player->CanEject() || player->HasVideo());
    EXPECT_TRUE(player->CanStep()); // a digital-video device steps
    EXPECT_EQ(player->LastError(), 0u);
}

TEST_F(MediaPlayer, OnlyFourDeviceTypesCanStep)
{
    const std::pair<std::uint32_t, bool> types[] = {
        {MCI_DEVTYPE_ANIMATION, true}, {MCI_DEVTYPE_OVERLAY, true}, {MCI_DEVTYPE_VCR, true},
        {MCI_DEVTYPE_WAVEFORM_AUDIO, false}, {MCI_DEVTYPE_CD_AUDIO, false}};
    player->FileName = "x.mp3";
    for (const auto& [type, steps] : types) {
        mci->DeviceTypeCap = type;
        player->Open();
        EXPECT_EQ(player->CanStep(), steps) << type;
    }
}

TEST_F(MediaPlayer, NamedDeviceTypeIsSentWithTheFileAndCdTimeFormat)
{
    player->FileName = "b.wav";
    player->DeviceType = dtWaveAudio;
    player->Shareable = true;
    player->Open();
    EXPECT_EQ(mci->Calls[0].Flags, MCI_WAIT | MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_OPEN_SHAREABLE);
    EXPECT_EQ(mci->Calls[0].DeviceType, "WaveAudio");
    EXPECT_EQ(mci->Calls[0].Element, "b.wav");
    EXPECT_TRUE(mci->CallsOf(MCI_SET).empty());

    mci->Calls.clear();
    player->FileName = "";
    player->DeviceType = dtCDAudio;
    player->Shareable = false;
    player->Open();
    EXPECT_EQ(mci->Calls[0].Command, MCI_CLOSE); // the held device goes first
    EXPECT_EQ(mci->Calls[1].Flags, MCI_WAIT | MCI_OPEN_TYPE);
    const auto set = mci->CallsOf(MCI_SET);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].Flags, MCI_WAIT | MCI_SET_TIME_FORMAT);
    EXPECT_EQ(set[0].TimeFormat, MCI_FORMAT_TMSF);
}

TEST_F(MediaPlayer, OpenWhileOpenClosesTheFirstDeviceAndAFailedOpenLeavesNothingOpen)
{
    const MCIDEVICEID first = openSong();
    mci->OpenErrors["gone.mp3"] = MCIERR_FILE_NOT_FOUND;
    mci->ErrorTexts[MCIERR_FILE_NOT_FOUND] = "The file does not exist.";
    player->FileName = "gone.mp3";

    EXPECT_EQ(raised([&] { player->Open(); }), "The file does not exist.");
    ASSERT_GE(mci->Calls.size(), 2u);
    EXPECT_EQ(mci->Calls[0].Command, MCI_CLOSE);
    EXPECT_EQ(mci->Calls[0].Device, first);
    EXPECT_EQ(mci->Calls[0].Flags, MCI_WAIT);
    EXPECT_EQ(mci->Calls[1].Command, MCI_OPEN);
    EXPECT_EQ(mci->Calls.size(), 2u); // nothing read from a device that did not open
    EXPECT_FALSE(player->DeviceOpen());
    EXPECT_EQ(player->MciDevice(), 0);
    EXPECT_EQ(player->LastError(), MCIERR_FILE_NOT_FOUND);
    EXPECT_TRUE(mci->Devices.empty());

    // A code the device has no words for.
    mci->OpenErrors["odd.mp3"] = 9999;
    player->FileName = "odd.mp3";
    EXPECT_EQ(raised([&] { player->Open(); }), "Unknown error code");
}

TEST_F(MediaPlayer, CloseWithoutDeviceSendsNothingAndAFailedCloseKeepsTheDevice)
{
    player->Close();
    EXPECT_TRUE(mci->Calls.empty());

    const MCIDEVICEID id = openSong();
    mci->CommandErrors[MCI_CLOSE] = MCIERR_DRIVER;
    EXPECT_NO_THROW(player->Close());
    EXPECT_TRUE(player->DeviceOpen());
    EXPECT_EQ(player->MciDevice(), id);
    EXPECT_EQ(player->LastError(), MCIERR_DRIVER);

    mci->CommandErrors.clear();
    player->Close();
    EXPECT_FALSE(player->DeviceOpen());
    EXPECT_EQ(player->MciDevice(), 0);
    EXPECT_EQ(player->LastError(), 0u);
    EXPECT_TRUE(mci->Devices.empty());
}

TEST_F(MediaPlayer, OperationsOnAClosedPlayerRaiseButPositionDoesNot)
{
    for (const auto& operation : std::vector<std::function<void()>>{
             [&] { player->Play(); }, [&] { player->Stop(); }, [&] { player->Pause(); },
             [&] { player->Resume(); }, [&] { player->TrackLength(1); }})
        EXPECT_EQ(raised(operation), "No MCI device open");
    EXPECT_TRUE(mci->Calls.empty());

    // Position goes to the device anyway; its refusal reads as 0.
    EXPECT_EQ(player->Position(), 0);
    ASSERT_EQ(mci->Calls.size(), 1u);
    EXPECT_EQ(mci->Calls[0].Device, 0);
    EXPECT_EQ(player->LastError(), MCIERR_INVALID_DEVICE_ID);
}

TEST_F(MediaPlayer, PlayNotifiesAndRewindsOnlyAtTheEnd)
{
    const MCIDEVICEID id = openSong(5000);
    device().Position = 1200;
    player->Play();
    ASSERT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_STATUS, MCI_STATUS, MCI_PLAY}));
    EXPECT_EQ(mci->Calls[0].Item, MCI_STATUS_POSITION);
    EXPECT_EQ(mci->Calls[1].Item, MCI_STATUS_LENGTH);
    EXPECT_EQ(mci->Calls[2].Flags, MCI_NOTIFY);
    EXPECT_EQ(mci->Calls[2].Callback, self());
    EXPECT_EQ(mci->Calls[2].Device, id);
    EXPECT_EQ(device().Position, 1200u); // on from where it was

    mci->PlayToEnd(id);
    mci->Calls.clear();
    player->Play();
    ASSERT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_STATUS, MCI_STATUS, MCI_SEEK, MCI_PLAY}));
    EXPECT_EQ(mci->Calls[2].Flags, MCI_SEEK_TO_START | MCI_WAIT);
    EXPECT_EQ(mci->Calls[2].Callback, 0u);
    EXPECT_EQ(device().Position, 0u);
    EXPECT_EQ(device().Mode, MCI_MODE_PLAY);

    player->AutoRewind = false;
    mci->PlayToEnd(id);
    mci->Calls.clear();
    player->Play();
    EXPECT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_PLAY}));
}

TEST_F(MediaPlayer, RefusedCommandsOnAnOpenDeviceOnlyLandInLastError)
{
    openSong();
    mci->CommandErrors[MCI_PLAY] = MCIERR_DRIVER;
    EXPECT_NO_THROW(player->Play());
    EXPECT_EQ(player->LastError(), MCIERR_DRIVER);

    mci->CommandErrors = {{MCI_STOP, MCIERR_UNSUPPORTED_FUNCTION}};
    EXPECT_NO_THROW(player->Stop());
    EXPECT_EQ(player->LastError(), MCIERR_UNSUPPORTED_FUNCTION);

    // TrackLength keeps LastError as it was; a refused length reads as 0.
    mci->CommandErrors.clear();
    mci->StatusErrors[MCI_STATUS_LENGTH] = MCIERR_OUTOFRANGE;
    EXPECT_EQ(player->TrackLength(1), 0);
    EXPECT_EQ(player->LastError(), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(player->QueryLength(), 0);
    EXPECT_EQ(player->LastError(), MCIERR_OUTOFRANGE);
    mci->StatusErrors = {{MCI_STATUS_MODE, MCIERR_DRIVER}};
    EXPECT_EQ(player->QueryMode(), mpNotReady);
    EXPECT_EQ(player->LastError(), MCIERR_DRIVER);
}

TEST_F(MediaPlayer, TrackLengthAsksForTheTrackAndPositionRecordsItsResult)
{
    openSong(7000);
    device().Position = 2500;
    EXPECT_EQ(player->TrackLength(1), 7000);
    const TMciCall& call = mci->Calls.back();
    EXPECT_EQ(call.Flags, MCI_STATUS_ITEM | MCI_TRACK | MCI_WAIT);
    EXPECT_EQ(call.Item, MCI_STATUS_LENGTH);
    EXPECT_EQ(call.Track, 1u);
    EXPECT_EQ(player->Position(), 2500);
    EXPECT_EQ(mci->Calls.back().Flags, MCI_STATUS_ITEM | MCI_WAIT);
    EXPECT_EQ(mci->Calls.back().Item, MCI_STATUS_POSITION);
}

TEST_F(MediaPlayer, WaitDefaultCommandsTakeAndConsumeTheirOverrides)
{
    openSong();
    player->SetWaitOnce(false);
    player->SetNotifyOnce(true);
    player->Stop();
    player->Stop();
    const auto stops = mci->CallsOf(MCI_STOP);
    EXPECT_EQ(stops[0].Flags, MCI_NOTIFY);
    EXPECT_EQ(stops[1].Flags, MCI_WAIT);

    player->SetNotifyOnce(false);
    player->Close();
    EXPECT_EQ(mci->CallsOf(MCI_CLOSE)[0].Flags, MCI_WAIT);
}

TEST_F(MediaPlayer, PlayTakesNotifyWaitFromAndToOnce)
{
    const MCIDEVICEID id = openSong(5000);
    mci->PlayToEnd(id);
    player->SetNotifyOnce(false);
    player->SetWaitOnce(true);
    player->SetFromOnce(1000);
    player->SetToOnce(3000);
    player->Play();
    // With a start or end point there is no rewind check.
    ASSERT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_PLAY}));
    EXPECT_EQ(mci->Calls[0].Flags, MCI_WAIT | MCI_FROM | MCI_TO);
    EXPECT_EQ(mci->Calls[0].From, 1000u);
    EXPECT_EQ(mci->Calls[0].To, 3000u);

    mci->Calls.clear();
    player->Play();
    EXPECT_EQ(mci->CallsOf(MCI_PLAY)[0].Flags, MCI_NOTIFY);
}

TEST_F(MediaPlayer, PauseTogglesByTheDeviceMode)
{
    openSong();
    player->Play();
    mci->Calls.clear();
    player->Pause();
    ASSERT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_STATUS, MCI_PAUSE}));
    EXPECT_EQ(mci->Calls[0].Item, MCI_STATUS_MODE);
    EXPECT_EQ(mci->Calls[1].Flags, MCI_WAIT);
    EXPECT_EQ(player->QueryMode(), mpPaused);

    mci->Calls.clear();
    player->Pause();
    ASSERT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_STATUS, MCI_STATUS, MCI_RESUME}));
    EXPECT_EQ(mci->Calls[2].Flags, MCI_NOTIFY);
    EXPECT_EQ(player->QueryMode(), mpPlaying);

    player->Stop();
    mci->Calls.clear();
    player->Pause();
    EXPECT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_STATUS, MCI_STATUS}));
    EXPECT_EQ(player->QueryMode(), mpStopped);
}

TEST_F(MediaPlayer, ResumeFallsBackToPlayWhichConsumesTheOverrides)
{
    openSong(5000);
    device().Position = 800; // stopped in the middle: the device refuses to resume
    player->SetNotifyOnce(false);
    player->Resume();
    ASSERT_EQ(mci->Commands(), (std::vector<std::uint32_t>{MCI_RESUME, MCI_STATUS, MCI_STATUS, MCI_PLAY}));
    EXPECT_EQ(mci->Calls[0].Flags, 0u);
    EXPECT_EQ(mci->Calls[3].Flags, 0u);
    EXPECT_EQ(player->LastError(), 0u);
    EXPECT_EQ(device().Mode, MCI_MODE_PLAY);
    EXPECT_EQ(device().Position, 800u);

    // A resume that succeeds consumes them itself.
    player->Pause();
    player->SetNotifyOnce(false);
    mci->Calls.clear();
    player->Resume();
    player->Play();
    EXPECT_EQ(mci->CallsOf(MCI_RESUME)[0].Flags, 0u);
    EXPECT_EQ(mci->CallsOf(MCI_PLAY)[0].Flags, MCI_NOTIFY);
}

TEST_F(MediaPlayer, NotificationsSetTheResultAndCallOnNotify)
{
    const MCIDEVICEID id = openSong();
    int notified = 0;
    player->OnNotify = [&] { ++notified; };

    player->Play();
    player->Play(); // supersedes the first
    QCoreApplication::processEvents();
    EXPECT_EQ(player->NotifyResult(), nvSuperseded);
    mci->PlayToEnd(id);
    QCoreApplication::processEvents();
    EXPECT_EQ(player->NotifyResult(), nvSuccessful);
    EXPECT_EQ(notified, 2);

    player->Play();
    player->Stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(player->NotifyResult(), nvAborted);

    QCoreApplication::postEvent(player.get(), new TMciNotifyEvent(MCI_NOTIFY_FAILURE, id));
    QCoreApplication::processEvents();
    EXPECT_EQ(player->NotifyResult(), nvFailure);
    QCoreApplication::postEvent(player.get(), new TMciNotifyEvent(0x40, id)); // not a result
    QCoreApplication::processEvents();
    EXPECT_EQ(player->NotifyResult(), nvFailure);
    EXPECT_EQ(notified, 5);
}

TEST_F(MediaPlayer, AFailingOnNotifyIsReportedAndGoesNoFurther)
{
    std::vector<std::string> reports;
    SetDialogSink([&](DialogKind, const std::string&, const std::string& text) { reports.push_back(text); });
    openSong();
    player->OnNotify = [] { throw EInvalidOperation("handler failed"); };
    QCoreApplication::postEvent(player.get(), new TMciNotifyEvent(MCI_NOTIFY_SUCCESSFUL, player->MciDevice()));
    QCoreApplication::processEvents();
    SetDialogSink(nullptr);
    EXPECT_EQ(reports, (std::vector<std::string>{"handler failed."}));
}

TEST_F(MediaPlayer, NotificationsForADestroyedPlayerAreDropped)
{
    const MCIDEVICEID id = openSong();
    player->Play();
    player.reset(); // closes the device, which aborts the pending play
    ASSERT_EQ(mci->Calls.back().Command, MCI_CLOSE);
    EXPECT_EQ(mci->Calls.back().Device, id);
    EXPECT_EQ(mci->Calls.back().Flags, MCI_WAIT);
    EXPECT_TRUE(mci->Devices.empty());
    QCoreApplication::processEvents(); // nothing left to deliver to
}

TEST_F(MediaPlayer, DestroyingAClosedPlayerSendsNothing)
{
    player.reset();
    EXPECT_TRUE(mci->Calls.empty());
}

TEST_F(MediaPlayer, VolumeGoesToTheHeldDeviceWithoutChecks)
{
    openSong();
    EXPECT_EQ(GetVolume(*player), 1000);
    const TMciCall& get = mci->Calls.back();
    EXPECT_EQ(get.Command, MCI_STATUS);
    EXPECT_EQ(get.Flags, MCI_STATUS_ITEM);
    EXPECT_EQ(get.Item, MCI_DGV_STATUS_VOLUME);
    EXPECT_EQ(get.Callback, 0u);

    SetVolume(*player, 300);
    const TMciCall& set = mci->Calls.back();
    EXPECT_EQ(set.Command, MCI_SETAUDIO);
    EXPECT_EQ(set.Flags, MCI_DGV_SETAUDIO_ITEM | MCI_DGV_SETAUDIO_VALUE);
    EXPECT_EQ(set.Item, MCI_DGV_SETAUDIO_VOLUME);
    EXPECT_EQ(set.Value, 300u);
    EXPECT_EQ(GetVolume(*player), 300);
    EXPECT_EQ(player->LastError(), 0u); // the volume never touches LastError

    // Without a device the refusal reads as 0 and nothing is raised.
    player->Close();
    EXPECT_EQ(GetVolume(*player), 0);
    EXPECT_NO_THROW(SetVolume(*player, 100));
    EXPECT_EQ(mci->Calls.back().Device, 0);
}

TEST_F(MediaPlayer, AutoOpenOpensWhenLoaded)
{
    player->FileName = "song.mp3";
    player->Loaded();
    EXPECT_FALSE(player->DeviceOpen());
    player->AutoOpen = true;
    player->Loaded();
    EXPECT_TRUE(player->DeviceOpen());
}

TEST(MciLayerInstall, PlayersTakeTheInstalledLayer)
{
    auto mci = std::make_shared<TScriptedMciLayer>();
    SetMciLayer(mci);
    TMediaPlayer player;
    SetMciLayer(nullptr);
    EXPECT_EQ(&player.Layer(), mci.get());
    TMediaPlayer other;
    EXPECT_NE(&other.Layer(), mci.get());
}

} // namespace
