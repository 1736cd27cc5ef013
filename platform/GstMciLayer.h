#pragma once
// The media control layer over GStreamer: each MCI_OPEN makes one playbin
// device for a file; the other commands go to the device by its identifier.
// Time format milliseconds; volume 0..1000.

#include "Mci.h"

#include <QObject>

#include <map>
#include <memory>
#include <string>

namespace quellora {

class TGstMciDevice;

class TGstMciLayer : public QObject, public TMciLayer {
public:
    TGstMciLayer();
    ~TGstMciLayer() override;

    MCIERROR SendCommand(MCIDEVICEID device, std::uint32_t command, std::uint32_t flags, void* params) override;
    std::string ErrorString(MCIERROR code) override;

protected:
    bool event(QEvent* event) override;

private:
    MCIERROR open(std::uint32_t flags, MCI_OPEN_PARMS* params);
    MCIERROR command(TGstMciDevice& device, std::uint32_t command, std::uint32_t flags, void* params);
    MCIERROR status(TGstMciDevice& device, std::uint32_t flags, MCI_STATUS_PARMS* params);
    MCIERROR seek(TGstMciDevice& device, std::uint32_t flags, MCI_SEEK_PARMS* params);
    MCIDEVICEID newDeviceId();

    std::map<MCIDEVICEID, std::unique_ptr<TGstMciDevice>> devices_;
    MCIDEVICEID nextId_ = 1;
    // The media framework's words for the last failure that had some.
    std::string detail_;
};

} // namespace quellora
