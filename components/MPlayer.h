#pragma once
// The media player device: one device of the media control layer for the
// file named by FileName, opened, played, paused, resumed, stopped and closed
// with the commands and flags that layer takes. The player is a hidden
// control; it is the target of the device's completion notifications. Its
// button bar is never shown in this program and is not drawn.
//
// Which device answers: the layer handed to the constructor, or else the one
// MciLayer() gives, that is the GStreamer device unless a test installed
// another with SetMciLayer(). A test that wants the main window's PLayer on a
// scripted device therefore does
//
//   auto mci = std::make_shared<TScriptedMciLayer>();
//   SetMciLayer(mci);     // before TForm1 is built
//   Form1 = new TForm1(); // PLayer now talks to `mci`
//   ...
//   SetMciLayer(nullptr);

#include "Mci.h"

#include <QWidget>

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quellora {

enum TMPDeviceTypes {
    dtAutoSelect,
    dtAVIVideo,
    dtCDAudio,
    dtDAT,
    dtDigitalVideo,
    dtMMMovie,
    dtOther,
    dtOverlay,
    dtScanner,
    dtSequencer,
    dtVCR,
    dtVideodisc,
    dtWaveAudio
};

enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
using TButtonSet = std::bitset<9>;

enum TMPNotifyValues { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

// The device mode: the layer's mode value less MCI_MODE_NOT_READY.
enum TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

class TMediaPlayer : public QWidget {
    Q_OBJECT
public:
    explicit TMediaPlayer(QWidget* owner = nullptr, std::shared_ptr<TMciLayer> layer = nullptr);
    // Closes a device that is still held.
    ~TMediaPlayer() override;

    // Published properties.
    std::string FileName;
    TMPDeviceTypes DeviceType = dtAutoSelect;
    bool AutoOpen = false;
    bool AutoRewind = true;
    bool AutoEnable = true;
    bool Shareable = false;
    QWidget* Display = nullptr;
    TButtonSet EnabledButtons = TButtonSet().set();
    TButtonSet VisibleButtons = TButtonSet().set();
    TButtonSet ColoredButtons = TButtonSet().set();
    std::function<void(TMPBtnType button, bool& doDefault)> OnClick;
    std::function<void(TMPBtnType button)> OnPostClick;
    std::function<void()> OnNotify;

    // The device type's name as MCI_OPEN takes it ("" for dtAutoSelect).
    static const char* DeviceTypeName(TMPDeviceTypes type);

    // Run-time state.
    bool DeviceOpen() const { return deviceOpen_; }
    MCIDEVICEID MciDevice() const { return mciDevice_; }
    MCIERROR LastError() const { return lastError_; }
    TMPNotifyValues NotifyResult() const { return notifyResult_; }
    bool CanPlay() const { return canPlay_; }
    bool CanRecord() const { return canRecord_; }
    bool CanEject() const { return canEject_; }
    bool HasVideo() const { return hasVideo_; }
    bool CanStep() const { return canStep_; }
    // The frame step: a tenth of the medium's length.
    std::int32_t Frames() const { return frames_; }
    const MCI_RECT& SourceRect() const { return sourceRect_; }
    TMciLayer& Layer() const { return *layer_; }

    // One-shot overrides, consumed by the next command that uses them.
    void SetWaitOnce(bool wait) { waitOnce_ = {true, wait}; }
    void SetNotifyOnce(bool notify) { notifyOnce_ = {true, notify}; }
    void SetFromOnce(std::uint32_t from) { fromOnce_ = {true, from}; }
    void SetToOnce(std::uint32_t to) { toOnce_ = {true, to}; }

    // Opens FileName, closing a held device first; raises EMCIDeviceError
    // with the device's text when the layer refuses.
    void Open();
    // Never raises; does nothing without a device.
    void Close();
    // Plays from the current position (from the start after the end, with
    // AutoRewind). A refusal only lands in LastError.
    void Play();
    void Stop();
    // Pauses a playing device, resumes a paused one, leaves others alone.
    void Pause();
    // Resumes; plays instead when the device refuses.
    void Resume();

    // Status queries. A query that the device refuses answers 0 (and
    // QueryMode mpNotReady).
    std::int32_t TrackLength(std::int32_t track);
    std::int32_t Position();
    TMPModes QueryMode();
    std::int32_t QueryLength();

    // The layer's text for LastError, or "Unknown error code".
    std::string ErrorText();

    // The form has been loaded: opens at once with AutoOpen.
    void Loaded();

protected:
    bool event(QEvent* event) override;

private:
    template <typename T>
    struct Once {
        bool pending = false;
        T value{};
    };

    void RequireOpen() const;
    void SendPause();
    void SeekToStart();
    std::uint32_t waitDefaultFlags();
    std::uint32_t notifyDefaultFlags() const;
    void consumeWaitNotify();
    std::uint32_t devCaps(std::uint32_t item);
    std::int32_t status(std::uint32_t item, std::uint32_t flags, std::uint32_t track, MCIERROR& result);
    MCIERROR send(std::uint32_t command, std::uint32_t flags, void* params);
    std::uintptr_t callback();

    std::shared_ptr<TMciLayer> layer_;
    bool deviceOpen_ = false;
    MCIDEVICEID mciDevice_ = 0;
    MCIERROR lastError_ = 0;
    TMPNotifyValues notifyResult_ = nvSuccessful;
    bool canPlay_ = false;
    bool canRecord_ = false;
    bool canEject_ = false;
    bool hasVideo_ = false;
    bool canStep_ = false;
    std::int32_t frames_ = 0;
    MCI_RECT sourceRect_;
    MCI_RECT displayRect_;
    Once<bool> waitOnce_;
    Once<bool> notifyOnce_;
    Once<std::uint32_t> fromOnce_;
    Once<std::uint32_t> toOnce_;
};

// The volume of the player's device, 0..1000, sent to whatever device the
// player holds (none: the layer refuses and the volume reads 0).
std::int32_t GetVolume(TMediaPlayer& player);
void SetVolume(TMediaPlayer& player, std::int32_t volume);

} // namespace quellora
