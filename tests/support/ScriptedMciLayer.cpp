#include "ScriptedMciLayer.h"

#include <algorithm>

namespace quellora {

namespace {

TMciCall Record(MCIDEVICEID device, std::uint32_t command, std::uint32_t flags, void* params)
{
    TMciCall call;
    call.Device = device;
    call.Command = command;
    call.Flags = flags;
    call.HasParams = params != nullptr;
    if (!params)
        return call;
    call.Callback = *static_cast<std::uintptr_t*>(params);
    switch (command) {
    case MCI_OPEN: {
        auto* p = static_cast<MCI_OPEN_PARMS*>(params);
        call.DeviceType = p->lpstrDeviceType ? p->lpstrDeviceType : "";
        call.Element = p->lpstrElementName ? p->lpstrElementName : "";
        break;
    }
    case MCI_PLAY: {
        auto* p = static_cast<MCI_PLAY_PARMS*>(params);
        call.From = p->dwFrom;
        call.To = p->dwTo;
        break;
    }
    case MCI_SEEK:
        call.To = static_cast<MCI_SEEK_PARMS*>(params)->dwTo;
        break;
    case MCI_STATUS: {
        auto* p = static_cast<MCI_STATUS_PARMS*>(params);
        call.Item = p->dwItem;
        call.Track = p->dwTrack;
        break;
    }
    case MCI_GETDEVCAPS:
        call.Item = static_cast<MCI_GETDEVCAPS_PARMS*>(params)->dwItem;
        break;
    case MCI_SETAUDIO: {
        auto* p = static_cast<MCI_DGV_SETAUDIO_PARMS*>(params);
        call.Item = p->dwItem;
        call.Value = p->dwValue;
        break;
    }
    case MCI_SET:
        call.TimeFormat = static_cast<MCI_SET_PARMS*>(params)->dwTimeFormat;
        break;
    case MCI_WINDOW:
        call.Window = static_cast<MCI_DGV_WINDOW_PARMS*>(params)->hWnd;
        break;
    default:
        break;
    }
    return call;
}

} // namespace

MCIERROR TScriptedMciLayer::SendCommand(MCIDEVICEID device, std::uint32_t command, std::uint32_t flags,
                                        void* params)
{
    Calls.push_back(Record(device, command, flags, params));
    QObject* window = (flags & MCI_NOTIFY) && params ? MciCallbackTarget(Calls.back().Callback) : nullptr;
    const MCIERROR rc = run(device, command, flags, params, window);
    // Play notifies when the file has played; everything else at once.
    if (rc == 0 && window && command != MCI_PLAY && command != MCI_RESUME)
        PostMciNotify(window, MCI_NOTIFY_SUCCESSFUL, command == MCI_OPEN ? NextDeviceId - 1 : device);
    return rc;
}

MCIERROR TScriptedMciLayer::run(MCIDEVICEID id, std::uint32_t command, std::uint32_t flags, void* params,
                                QObject* window)
{
    if (const auto failure = CommandErrors.find(command); failure != CommandErrors.end())
        return failure->second;
    const bool blockOptional = command == MCI_CLOSE || command == MCI_STOP || command == MCI_PAUSE ||
                               command == MCI_RESUME || (command == MCI_PLAY && !(flags & MCI_FROM));
    if (!params && !blockOptional)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (command == MCI_OPEN) {
        auto* p = static_cast<MCI_OPEN_PARMS*>(params);
        const std::string element = p && p->lpstrElementName ? p->lpstrElementName : "";
        if (const auto failure = OpenErrors.find(element); failure != OpenErrors.end())
            return failure->second;
        Device device;
        device.Element = element;
        const auto length = Lengths.find(element);
        device.Length = length != Lengths.end() ? length->second : DefaultLength;
        p->wDeviceID = NextDeviceId;
        Devices[NextDeviceId++] = device;
        return 0;
    }
    Device* device = Find(id);
    if (!device)
        return MCIERR_INVALID_DEVICE_ID;
    switch (command) {
    case MCI_CLOSE:
        complete(*device, id, MCI_NOTIFY_ABORTED);
        Devices.erase(id);
        return 0;
    case MCI_PLAY: {
        auto* p = static_cast<MCI_PLAY_PARMS*>(params);
        if (device->Notify)
            PostMciNotify(device->Notify, MCI_NOTIFY_SUPERSEDED, id);
        device->Notify = window;
        if (flags & MCI_FROM)
            device->Position = p->dwFrom;
        if (device->Position >= device->Length) {
            device->Mode = MCI_MODE_STOP;
            complete(*device, id, MCI_NOTIFY_SUCCESSFUL);
        } else {
            device->Mode = MCI_MODE_PLAY;
        }
        return 0;
    }
    case MCI_STOP:
        device->Mode = MCI_MODE_STOP;
        complete(*device, id, MCI_NOTIFY_ABORTED);
        return 0;
    case MCI_PAUSE:
        if (device->Mode == MCI_MODE_PLAY)
            device->Mode = MCI_MODE_PAUSE;
        return 0;
    case MCI_RESUME:
        if (device->Mode != MCI_MODE_PAUSE)
            return MCIERR_NONAPPLICABLE_FUNCTION;
        device->Mode = MCI_MODE_PLAY;
        if (window) {
            if (device->Notify)
                PostMciNotify(device->Notify, MCI_NOTIFY_SUPERSEDED, id);
            device->Notify = window;
        }
        return 0;
    case MCI_SEEK:
        complete(*device, id, MCI_NOTIFY_ABORTED);
        device->Mode = MCI_MODE_STOP;
        if (flags & MCI_SEEK_TO_START)
            device->Position = 0;
        else if (flags & MCI_SEEK_TO_END)
            device->Position = device->Length;
        else if (flags & MCI_TO)
            device->Position = std::min(static_cast<MCI_SEEK_PARMS*>(params)->dwTo, device->Length);
        else
            return MCIERR_MISSING_PARAMETER;
        return 0;
    case MCI_STATUS: {
        auto* p = static_cast<MCI_STATUS_PARMS*>(params);
        if (const auto failure = StatusErrors.find(p->dwItem); failure != StatusErrors.end())
            return failure->second;
        switch (p->dwItem) {
        case MCI_STATUS_LENGTH:
            p->dwReturn = device->Length;
            return 0;
        case MCI_STATUS_POSITION:
            p->dwReturn = device->Position;
            return 0;
        case MCI_STATUS_MODE:
            p->dwReturn = device->Mode;
            return 0;
        case MCI_DGV_STATUS_VOLUME:
            p->dwReturn = device->Volume;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }
    case MCI_SETAUDIO: {
        auto* p = static_cast<MCI_DGV_SETAUDIO_PARMS*>(params);
        if (p->dwItem != MCI_DGV_SETAUDIO_VOLUME)
            return MCIERR_UNSUPPORTED_FUNCTION;
        if (p->dwValue > 1000)
            return MCIERR_OUTOFRANGE;
        device->Volume = p->dwValue;
        return 0;
    }
    case MCI_GETDEVCAPS: {
        auto* p = static_cast<MCI_GETDEVCAPS_PARMS*>(params);
        p->dwReturn = p->dwItem == MCI_GETDEVCAPS_CAN_PLAY      ? 1
                      : p->dwItem == MCI_GETDEVCAPS_DEVICE_TYPE ? DeviceTypeCap
                                                                : 0;
        return 0;
    }
    case MCI_WHERE:
        static_cast<MCI_DGV_RECT_PARMS*>(params)->rc = MCI_RECT{};
        return 0;
    case MCI_SET:
    case MCI_WINDOW:
        return 0;
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

std::string TScriptedMciLayer::ErrorString(MCIERROR code)
{
    const auto text = ErrorTexts.find(code);
    return text != ErrorTexts.end() ? text->second : std::string();
}

std::vector<TMciCall> TScriptedMciLayer::CallsOf(std::uint32_t command) const
{
    std::vector<TMciCall> calls;
    std::copy_if(Calls.begin(), Calls.end(), std::back_inserter(calls),
                 [command](const TMciCall& call) { return call.Command == command; });
    return calls;
}

std::vector<std::uint32_t> TScriptedMciLayer::Commands() const
{
    std::vector<std::uint32_t> commands;
    for (const TMciCall& call : Calls)
        commands.push_back(call.Command);
    return commands;
}

TScriptedMciLayer::Device* TScriptedMciLayer::Find(MCIDEVICEID id)
{
    const auto it = Devices.find(id);
    return it != Devices.end() ? &it->second : nullptr;
}

void TScriptedMciLayer::Advance(std::uint32_t ms)
{
    for (auto& [id, device] : Devices) {
        if (device.Mode != MCI_MODE_PLAY)
            continue;
        device.Position = std::min(device.Length, device.Position + ms);
        if (device.Position == device.Length)
            PlayToEnd(id);
    }
}

void TScriptedMciLayer::PlayToEnd(MCIDEVICEID id)
{
    if (Device* device = Find(id)) {
        device->Position = device->Length;
        device->Mode = MCI_MODE_STOP;
        complete(*device, id, MCI_NOTIFY_SUCCESSFUL);
    }
}

void TScriptedMciLayer::complete(Device& device, MCIDEVICEID id, std::uint32_t result)
{
    if (device.Notify) {
        PostMciNotify(device.Notify, result, id);
        device.Notify.clear();
    }
}

} // namespace quellora
