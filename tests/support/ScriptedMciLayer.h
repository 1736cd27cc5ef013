#pragma once
// A media control layer that tests drive: it records every command with the
// fields it was sent, and answers from devices whose length, position and
// mode the test sets. Time passes only when the test says so (Advance,
// PlayToEnd). Completion notifications are queued as the real layer's are.
//
//   auto mci = std::make_shared<TScriptedMciLayer>();
//   SetMciLayer(mci);            // before the players are built
//   ... Form1->PLayer now runs on it ...
//   SetMciLayer(nullptr);

#include "Mci.h"

#include <QPointer>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quellora {

// One command as it was sent; fields the command does not take stay 0 / "".
struct TMciCall {
    MCIDEVICEID Device = 0;
    std::uint32_t Command = 0;
    std::uint32_t Flags = 0;
    bool HasParams = false;
    std::uintptr_t Callback = 0;
    std::string DeviceType;
    std::string Element;
    std::uint32_t Item = 0;
    std::uint32_t Track = 0;
    std::uint32_t From = 0;
    std::uint32_t To = 0;
    std::uint32_t Value = 0;
    std::uint32_t TimeFormat = 0;
    std::uintptr_t Window = 0;
};

class TScriptedMciLayer : public TMciLayer {
public:
    struct Device {
        std::string Element;
        std::uint32_t Length = 0;
        std::uint32_t Position = 0;
        std::uint32_t Mode = MCI_MODE_STOP;
        std::uint32_t Volume = 1000;
        QPointer<QObject> Notify; // pending play notification
    };

    MCIERROR SendCommand(MCIDEVICEID device, std::uint32_t command, std::uint32_t flags, void* params) override;
    std::string ErrorString(MCIERROR code) override;

    // What was sent.
    std::vector<TMciCall> Calls;
    std::vector<TMciCall> CallsOf(std::uint32_t command) const;
    std::vector<std::uint32_t> Commands() const;

    // Open devices by identifier.
    std::map<MCIDEVICEID, Device> Devices;
    Device* Find(MCIDEVICEID id);

    // Script: open failures by file name, lengths by file name, failures of
    // a command (every device) or of a status item, the texts of codes.
    std::map<std::string, MCIERROR> OpenErrors;
    std::map<std::string, std::uint32_t> Lengths;
    std::uint32_t DefaultLength = 60000;
    std::map<std::uint32_t, MCIERROR> CommandErrors;
    std::map<std::uint32_t, MCIERROR> StatusErrors;
    std::map<MCIERROR, std::string> ErrorTexts;
    std::uint32_t DeviceTypeCap = MCI_DEVTYPE_DIGITAL_VIDEO;
    MCIDEVICEID NextDeviceId = 1;

    // Time passes for every playing device; one that reaches its length
    // stops there and its play notification completes.
    void Advance(std::uint32_t ms);
    void PlayToEnd(MCIDEVICEID id);

private:
    MCIERROR run(MCIDEVICEID id, std::uint32_t command, std::uint32_t flags, void* params, QObject* window);
    static void complete(Device& device, MCIDEVICEID id, std::uint32_t result);
};

} // namespace quellora
