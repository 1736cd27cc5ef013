#include "MPlayer.h"

#include "Exceptions.h"
#include "Handler.h"

namespace quellora {

namespace {

const char* const NoDeviceOpen = "No MCI device open";
const char* const UnknownErrorCode = "Unknown error code";

} // namespace

TMediaPlayer::TMediaPlayer(QWidget* owner, std::shared_ptr<TMciLayer> layer)
    : QWidget(owner), layer_(layer ? std::move(layer) : MciLayer())
{
    setObjectName("PLayer");
    setVisible(false);
}

TMediaPlayer::~TMediaPlayer()
{
    if (mciDevice_ != 0) {
        MCI_GENERIC_PARMS params;
        params.dwCallback = callback();
        layer_->SendCommand(mciDevice_, MCI_CLOSE, MCI_WAIT, &params);
    }
}

const char* TMediaPlayer::DeviceTypeName(TMPDeviceTypes type)
{
    static const char* const names[] = {"",      "AVIVideo", "CDAudio", "DAT",       "DigitalVideo",
                                        "MMMovie", "Other",  "Overlay", "Scanner",   "Sequencer",
                                        "VCR",     "Videodisc", "WaveAudio"};
    return names[type];
}

std::uintptr_t TMediaPlayer::callback()
{
    return MciCallbackOf(this);
}

MCIERROR TMediaPlayer::send(std::uint32_t command, std::uint32_t flags, void* params)
{
    return layer_->SendCommand(mciDevice_, command, flags, params);
}

// Open, Close, Stop and pause wait by default and notify only when asked.
std::uint32_t TMediaPlayer::waitDefaultFlags()
{
    std::uint32_t flags = 0;
    if (waitOnce_.pending) {
        if (waitOnce_.value)
            flags |= MCI_WAIT;
        waitOnce_.pending = false;
    } else {
        flags |= MCI_WAIT;
    }
    if (notifyOnce_.pending) {
        if (notifyOnce_.value)
            flags |= MCI_NOTIFY;
        notifyOnce_.pending = false;
    }
    return flags;
}

// Play and resume notify by default and wait only when asked.
std::uint32_t TMediaPlayer::notifyDefaultFlags() const
{
    std::uint32_t flags = (notifyOnce_.pending && !notifyOnce_.value) ? 0 : MCI_NOTIFY;
    if (waitOnce_.pending && waitOnce_.value)
        flags |= MCI_WAIT;
    return flags;
}

void TMediaPlayer::consumeWaitNotify()
{
    waitOnce_.pending = false;
    notifyOnce_.pending = false;
}

void TMediaPlayer::RequireOpen() const
{
    if (!deviceOpen_)
        throw EMCIDeviceError(NoDeviceOpen);
}

std::string TMediaPlayer::ErrorText()
{
    std::string text = layer_->ErrorString(lastError_);
    if (text.size() > 4095)
        text.resize(4095);
    return text.empty() ? UnknownErrorCode : text;
}

void TMediaPlayer::Loaded()
{
    if (AutoOpen)
        Open();
}

std::uint32_t TMediaPlayer::devCaps(std::uint32_t item)
{
    MCI_GETDEVCAPS_PARMS params;
    params.dwCallback = callback();
    params.dwItem = item;
    return send(MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM | MCI_WAIT, &params) == 0 ? params.dwReturn : 0;
}

void TMediaPlayer::Open()
{
    if (deviceOpen_)
        Close();
    std::uint32_t flags = waitDefaultFlags();
    MCI_OPEN_PARMS params;
    params.dwCallback = callback();
    params.lpstrDeviceType = DeviceTypeName(DeviceType);
    params.lpstrElementName = FileName.c_str();
    if (DeviceType == dtAutoSelect) {
        flags |= MCI_OPEN_ELEMENT;
    } else {
        // A named device type opens the file too when there is one.
        flags |= MCI_OPEN_TYPE;
        if (!FileName.empty())
            flags |= MCI_OPEN_ELEMENT;
    }
    if (Shareable)
        flags |= MCI_OPEN_SHAREABLE;
    lastError_ = layer_->SendCommand(0, MCI_OPEN, flags, &params);
    if (lastError_ != 0)
        throw EMCIDeviceError(ErrorText());

    deviceOpen_ = true;
    mciDevice_ = params.wDeviceID;
    // What the device can do; none of it stops the open.
    frames_ = QueryLength() / 10;
    canPlay_ = devCaps(MCI_GETDEVCAPS_CAN_PLAY) != 0;
    canRecord_ = devCaps(MCI_GETDEVCAPS_CAN_RECORD) != 0;
    canEject_ = devCaps(MCI_GETDEVCAPS_CAN_EJECT) != 0;
    hasVideo_ = devCaps(MCI_GETDEVCAPS_HAS_VIDEO) != 0;
    const std::uint32_t type = devCaps(MCI_GETDEVCAPS_DEVICE_TYPE);
    canStep_ = type == MCI_DEVTYPE_ANIMATION || type == MCI_DEVTYPE_DIGITAL_VIDEO || type == MCI_DEVTYPE_OVERLAY ||
               type == MCI_DEVTYPE_VCR;
    MCI_DGV_RECT_PARMS where;
    where.dwCallback = callback();
    if (send(MCI_WHERE, MCI_DGV_WHERE_SOURCE, &where) == 0)
        sourceRect_ = where.rc;
    if (hasVideo_ && Display) {
        MCI_DGV_WINDOW_PARMS window;
        window.dwCallback = callback();
        window.hWnd = static_cast<std::uintptr_t>(Display->winId());
        send(MCI_WINDOW, MCI_WAIT | MCI_DGV_WINDOW_HWND, &window);
        MCI_DGV_RECT_PARMS destination;
        destination.dwCallback = callback();
        if (send(MCI_WHERE, MCI_WAIT | MCI_DGV_WHERE_DESTINATION, &destination) == 0)
            displayRect_ = destination.rc;
    }
    if (DeviceType == dtCDAudio || DeviceType == dtVideodisc) {
        MCI_SET_PARMS set;
        set.dwCallback = callback();
        set.dwTimeFormat = MCI_FORMAT_TMSF;
        send(MCI_SET, MCI_WAIT | MCI_SET_TIME_FORMAT, &set);
    }
}

void TMediaPlayer::Close()
{
    if (mciDevice_ == 0)
        return;
    MCI_GENERIC_PARMS params;
    params.dwCallback = callback();
    lastError_ = send(MCI_CLOSE, waitDefaultFlags(), &params);
    if (lastError_ == 0) {
        deviceOpen_ = false;
        mciDevice_ = 0;
    }
}

void TMediaPlayer::Play()
{
    RequireOpen();
    if (AutoRewind && !fromOnce_.pending && !toOnce_.pending) {
        if (Position() == QueryLength())
            SeekToStart();
    }
    MCI_PLAY_PARMS params;
    params.dwCallback = callback();
    std::uint32_t flags = notifyDefaultFlags();
    consumeWaitNotify();
    if (fromOnce_.pending) {
        flags |= MCI_FROM;
        params.dwFrom = fromOnce_.value;
        fromOnce_.pending = false;
    }
    if (toOnce_.pending) {
        flags |= MCI_TO;
        params.dwTo = toOnce_.value;
        toOnce_.pending = false;
    }
    lastError_ = send(MCI_PLAY, flags, &params);
}

void TMediaPlayer::Stop()
{
    RequireOpen();
    MCI_GENERIC_PARMS params;
    params.dwCallback = callback();
    lastError_ = send(MCI_STOP, waitDefaultFlags(), &params);
}

void TMediaPlayer::SendPause()
{
    RequireOpen();
    MCI_GENERIC_PARMS params;
    params.dwCallback = callback();
    lastError_ = send(MCI_PAUSE, waitDefaultFlags(), &params);
}

void TMediaPlayer::Pause()
{
    if (!deviceOpen_)
        throw EMCIDeviceError(NoDeviceOpen);
    if (QueryMode() == mpPlaying)
        SendPause();
    else if (QueryMode() == mpPaused)
        Resume();
}

void TMediaPlayer::Resume()
{
    RequireOpen();
    MCI_GENERIC_PARMS params;
    params.dwCallback = callback();
    lastError_ = send(MCI_RESUME, notifyDefaultFlags(), &params);
    if (lastError_ == 0)
        consumeWaitNotify();
    else
        Play();
}

void TMediaPlayer::SeekToStart()
{
    MCI_SEEK_PARMS params;
    send(MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &params);
}

// One MCI_STATUS question; a refused one answers 0.
std::int32_t TMediaPlayer::status(std::uint32_t item, std::uint32_t flags, std::uint32_t track, MCIERROR& result)
{
    MCI_STATUS_PARMS params;
    params.dwCallback = callback();
    params.dwItem = item;
    params.dwTrack = track;
    result = send(MCI_STATUS, flags, &params);
    return result == 0 ? static_cast<std::int32_t>(params.dwReturn) : 0;
}

std::int32_t TMediaPlayer::TrackLength(std::int32_t track)
{
    RequireOpen();
    MCIERROR ignored = 0;
    return status(MCI_STATUS_LENGTH, MCI_STATUS_ITEM | MCI_TRACK | MCI_WAIT, static_cast<std::uint32_t>(track),
                  ignored);
}

std::int32_t TMediaPlayer::Position()
{
    return status(MCI_STATUS_POSITION, MCI_STATUS_ITEM | MCI_WAIT, 0, lastError_);
}

std::int32_t TMediaPlayer::QueryLength()
{
    return status(MCI_STATUS_LENGTH, MCI_STATUS_ITEM | MCI_WAIT, 0, lastError_);
}

TMPModes TMediaPlayer::QueryMode()
{
    const std::int32_t value = status(MCI_STATUS_MODE, MCI_STATUS_ITEM | MCI_WAIT, 0, lastError_);
    if (lastError_ != 0)
        return mpNotReady;
    const int mode = int(value & 0xFF) - 12;
    return mode >= mpNotReady && mode <= mpOpen ? static_cast<TMPModes>(mode) : mpNotReady;
}

// Completion notifications. Only the button bar, which this program never
// shows, would follow the mode here; the result and OnNotify remain.
bool TMediaPlayer::event(QEvent* event)
{
    if (event->type() != TMciNotifyEvent::EventType())
        return QWidget::event(event);
    switch (static_cast<TMciNotifyEvent*>(event)->WParam) {
    case MCI_NOTIFY_SUCCESSFUL:
        notifyResult_ = nvSuccessful;
        break;
    case MCI_NOTIFY_SUPERSEDED:
        notifyResult_ = nvSuperseded;
        break;
    case MCI_NOTIFY_ABORTED:
        notifyResult_ = nvAborted;
        break;
    case MCI_NOTIFY_FAILURE:
        notifyResult_ = nvFailure;
        break;
    default:
        break;
    }
    if (OnNotify)
        RunHandler(OnNotify);
    return true;
}

std::int32_t GetVolume(TMediaPlayer& player)
{
    MCI_STATUS_PARMS params;
    params.dwItem = MCI_DGV_STATUS_VOLUME;
    if (player.Layer().SendCommand(player.MciDevice(), MCI_STATUS, MCI_STATUS_ITEM, &params) != 0)
        return 0;
    return static_cast<std::int32_t>(params.dwReturn);
}

void SetVolume(TMediaPlayer& player, std::int32_t volume)
{
    MCI_DGV_SETAUDIO_PARMS params;
    params.dwItem = MCI_DGV_SETAUDIO_VOLUME;
    params.dwValue = static_cast<std::uint32_t>(volume);
    player.Layer().SendCommand(player.MciDevice(), MCI_SETAUDIO, MCI_DGV_SETAUDIO_ITEM | MCI_DGV_SETAUDIO_VALUE,
                               &params);
}

} // namespace quellora
