#include "GstMciLayer.h"

#include "GstMciDevice.h"

#include <gst/gst.h>

#include <strings.h>

namespace quellora {

namespace {

// GStreamer is started once per process, when the first file is opened.
bool StartGStreamer(std::string& detail)
{
    static bool started = false;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        GError* error = nullptr;
        started = gst_init_check(nullptr, nullptr, &error);
        if (!started && error)
            failure = error->message;
        if (error)
            g_error_free(error);
    }
    if (!started)
        detail = failure;
    return started;
}

// Device types that play files picked by their content.
bool FileDeviceType(const char* name)
{
    for (const char* known : {"WaveAudio", "MPEGVideo", "DigitalVideo", "AVIVideo"})
        if (strcasecmp(name, known) == 0)
            return true;
    return false;
}

std::uintptr_t CallbackOf(void* params)
{
    return params ? *static_cast<std::uintptr_t*>(params) : 0;
}

std::string WithDetail(const std::string& text, const std::string& detail)
{
    return detail.empty() ? text + "." : text + ": " + detail;
}

} // namespace

TGstMciLayer::TGstMciLayer() = default;

TGstMciLayer::~TGstMciLayer()
{
    devices_.clear();
}

bool TGstMciLayer::event(QEvent* event)
{
    if (event->type() != TGstWakeEvent::EventType())
        return QObject::event(event);
    const auto it = devices_.find(static_cast<TGstWakeEvent*>(event)->Device);
    if (it != devices_.end()) {
        it->second->ClearWake();
        it->second->Drain();
    }
    return true;
}

MCIDEVICEID TGstMciLayer::newDeviceId()
{
    while (nextId_ == 0 || devices_.count(nextId_))
        ++nextId_;
    return nextId_++;
}

MCIERROR TGstMciLayer::SendCommand(MCIDEVICEID device, std::uint32_t command, std::uint32_t flags, void* params)
{
    if (command == MCI_OPEN)
        return open(flags, static_cast<MCI_OPEN_PARMS*>(params));
    const auto it = devices_.find(device);
    if (it == devices_.end())
        return MCIERR_INVALID_DEVICE_ID;
    QObject* window = (flags & MCI_NOTIFY) ? MciCallbackTarget(CallbackOf(params)) : nullptr;
    if (command == MCI_CLOSE) {
        it->second->AbortNotify();
        devices_.erase(it);
        PostMciNotify(window, MCI_NOTIFY_SUCCESSFUL, device);
        return 0;
    }
    TGstMciDevice& dev = *it->second;
    MCIERROR rc = 0;
    if (command == MCI_PLAY) {
        // Play and resume notify when the file has played, not now.
        auto* p = static_cast<MCI_PLAY_PARMS*>(params);
        if ((flags & (MCI_FROM | MCI_TO)) && !p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        rc = dev.Play((flags & MCI_FROM) ? &p->dwFrom : nullptr, (flags & MCI_TO) ? &p->dwTo : nullptr,
                      flags & MCI_WAIT, window);
    } else if (command == MCI_RESUME) {
        rc = dev.Resume(window);
    } else {
        rc = this->command(dev, command, flags, params);
        if (rc == 0)
            PostMciNotify(window, MCI_NOTIFY_SUCCESSFUL, device);
    }
    if (rc == MCIERR_DRIVER)
        detail_ = dev.ErrorDetail();
    return rc;
}

MCIERROR TGstMciLayer::open(std::uint32_t flags, MCI_OPEN_PARMS* params)
{
    if (!params)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if ((flags & MCI_OPEN_TYPE) && params->lpstrDeviceType && *params->lpstrDeviceType &&
        !FileDeviceType(params->lpstrDeviceType))
        return MCIERR_INVALID_DEVICE_NAME;
    if (!(flags & MCI_OPEN_ELEMENT) || !params->lpstrElementName || !*params->lpstrElementName)
        return MCIERR_FILENAME_REQUIRED;
    detail_.clear();
    if (!StartGStreamer(detail_))
        return MCIERR_CANNOT_LOAD_DRIVER;
    const MCIDEVICEID id = newDeviceId();
    auto device = std::make_unique<TGstMciDevice>(id, this);
    if (const MCIERROR rc = device->Open(params->lpstrElementName, detail_))
        return rc;
    params->wDeviceID = id;
    devices_[id] = std::move(device);
    if (flags & MCI_NOTIFY)
        PostMciNotify(MciCallbackTarget(params->dwCallback), MCI_NOTIFY_SUCCESSFUL, id);
    return 0;
}

MCIERROR TGstMciLayer::command(TGstMciDevice& device, std::uint32_t command, std::uint32_t flags, void* params)
{
    switch (command) {
    case MCI_STOP:
        return device.Stop();
    case MCI_PAUSE:
        return device.Pause();
    case MCI_SEEK:
        return seek(device, flags, static_cast<MCI_SEEK_PARMS*>(params));
    case MCI_STATUS:
        return status(device, flags, static_cast<MCI_STATUS_PARMS*>(params));
    case MCI_SETAUDIO: {
        auto* p = static_cast<MCI_DGV_SETAUDIO_PARMS*>(params);
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & MCI_DGV_SETAUDIO_ITEM) || !(flags & MCI_DGV_SETAUDIO_VALUE))
            return MCIERR_MISSING_PARAMETER;
        if (p->dwItem != MCI_DGV_SETAUDIO_VOLUME)
            return MCIERR_UNSUPPORTED_FUNCTION;
        return device.SetVolume(p->dwValue);
    }
    case MCI_GETDEVCAPS: {
        auto* p = static_cast<MCI_GETDEVCAPS_PARMS*>(params);
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & MCI_GETDEVCAPS_ITEM))
            return MCIERR_MISSING_PARAMETER;
        switch (p->dwItem) {
        case MCI_GETDEVCAPS_CAN_PLAY:
        case MCI_GETDEVCAPS_HAS_AUDIO:
        case MCI_GETDEVCAPS_USES_FILES:
        case MCI_GETDEVCAPS_COMPOUND_DEVICE:
            p->dwReturn = 1;
            return 0;
        case MCI_GETDEVCAPS_CAN_RECORD:
        case MCI_GETDEVCAPS_CAN_EJECT:
        case MCI_GETDEVCAPS_CAN_SAVE:
        case MCI_GETDEVCAPS_HAS_VIDEO: // the device plays sound only
            p->dwReturn = 0;
            return 0;
        case MCI_GETDEVCAPS_DEVICE_TYPE:
            p->dwReturn = MCI_DEVTYPE_DIGITAL_VIDEO;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }
    case MCI_WHERE: {
        auto* p = static_cast<MCI_DGV_RECT_PARMS*>(params);
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if (!(flags & (MCI_DGV_WHERE_SOURCE | MCI_DGV_WHERE_DESTINATION)))
            return MCIERR_MISSING_PARAMETER;
        p->rc = MCI_RECT{}; // no picture
        return 0;
    }
    case MCI_SET: {
        auto* p = static_cast<MCI_SET_PARMS*>(params);
        if (!p)
            return MCIERR_NULL_PARAMETER_BLOCK;
        if ((flags & MCI_SET_TIME_FORMAT) && p->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
            return MCIERR_UNSUPPORTED_FUNCTION;
        return 0;
    }
    case MCI_WINDOW:
        return MCIERR_UNSUPPORTED_FUNCTION;
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

MCIERROR TGstMciLayer::seek(TGstMciDevice& device, std::uint32_t flags, MCI_SEEK_PARMS* params)
{
    const std::uint32_t where = flags & (MCI_SEEK_TO_START | MCI_SEEK_TO_END | MCI_TO);
    if (where == 0)
        return MCIERR_MISSING_PARAMETER;
    if (where != MCI_SEEK_TO_START && where != MCI_SEEK_TO_END && where != MCI_TO)
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    if (where == MCI_SEEK_TO_START)
        return device.SeekToStart();
    if (where == MCI_SEEK_TO_END)
        return device.SeekToEnd();
    if (!params)
        return MCIERR_NULL_PARAMETER_BLOCK;
    return device.SeekTo(params->dwTo);
}

MCIERROR TGstMciLayer::status(TGstMciDevice& device, std::uint32_t flags, MCI_STATUS_PARMS* params)
{
    if (!params)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & MCI_STATUS_ITEM))
        return MCIERR_MISSING_PARAMETER;
    // One track: the whole file.
    if ((flags & MCI_TRACK) && params->dwTrack != 1)
        return MCIERR_OUTOFRANGE;
    switch (params->dwItem) {
    case MCI_STATUS_LENGTH:
        params->dwReturn = device.LengthMs();
        return 0;
    case MCI_STATUS_POSITION:
        params->dwReturn = (flags & MCI_TRACK) ? 0 : device.PositionMs();
        return 0;
    case MCI_STATUS_MODE:
        params->dwReturn = device.Mode();
        return 0;
    case MCI_STATUS_NUMBER_OF_TRACKS:
    case MCI_STATUS_MEDIA_PRESENT:
    case MCI_STATUS_READY:
        params->dwReturn = 1;
        return 0;
    case MCI_STATUS_TIME_FORMAT:
        params->dwReturn = MCI_FORMAT_MILLISECONDS;
        return 0;
    case MCI_DGV_STATUS_VOLUME:
        params->dwReturn = device.Volume();
        return 0;
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

std::string TGstMciLayer::ErrorString(MCIERROR code)
{
    switch (code) {
    case 0:
        return "The command was carried out.";
    case MCIERR_INVALID_DEVICE_ID:
        return "No media device is open under this identifier.";
    case MCIERR_UNRECOGNIZED_COMMAND:
        return "The media device does not know this command.";
    case MCIERR_INVALID_DEVICE_NAME:
        return "This kind of media device is not available here; files are played by their content.";
    case MCIERR_CANNOT_LOAD_DRIVER:
        return WithDetail("The media framework (GStreamer) could not be started", detail_);
    case MCIERR_MISSING_PARAMETER:
        return "The command to the media device lacks a required parameter.";
    case MCIERR_UNSUPPORTED_FUNCTION:
        return "The media device cannot carry out this command.";
    case MCIERR_FILE_NOT_FOUND:
        return "The file does not exist.";
    case MCIERR_DEVICE_NOT_READY:
        return "The file did not get ready to play within " + std::to_string(TGstMciDevice::OpenTimeoutMs / 1000) +
               " seconds.";
    case MCIERR_DRIVER:
        return WithDetail("The media framework could not play the file", detail_);
    case MCIERR_OUTOFRANGE:
        return "A value given to the media device is out of its range.";
    case MCIERR_FLAGS_NOT_COMPATIBLE:
        return "The flags given to the media device cannot be used together.";
    case MCIERR_INVALID_FILE:
        return "The file is not a sound file that can be played.";
    case MCIERR_NULL_PARAMETER_BLOCK:
        return "The command to the media device lacks its parameter block.";
    case MCIERR_NONAPPLICABLE_FUNCTION:
        return "The command does not apply in the media device's current mode.";
    case MCIERR_FILENAME_REQUIRED:
        return "No file name was given to open.";
    case MCIERR_FILE_READ:
        return "The file cannot be read (no permission, or an input/output error).";
    case MCIERR_IS_DIRECTORY:
        return "The name is a directory, not a file.";
    case MCIERR_NOT_REGULAR_FILE:
        return "The name is a pipe, socket or device, not a file that can be played.";
    case MCIERR_EMPTY_FILE:
        return "The file is empty.";
    case MCIERR_NO_DECODER:
        return "No decoder is installed for this kind of sound file.";
    case MCIERR_TOO_MANY_FILES:
        return "Too many files are open: the player cannot open another one.";
    default:
        return "";
    }
}

} // namespace quellora
