#pragma once
// The media control layer: commands, flags, parameter blocks and return codes
// in the form the player component sends them, behind a small interface so
// that the real GStreamer device and a scripted one for tests are
// interchangeable.
//
// A test that wants every player of the process on a scripted device installs
// it with SetMciLayer() before the players are built; a player can also be
// handed a layer of its own when it is constructed.

#include <QEvent>

#include <cstdint>
#include <memory>
#include <string>

class QObject;

namespace quellora {

using MCIERROR = std::uint32_t;
using MCIDEVICEID = std::uint16_t;

// Commands.
inline constexpr std::uint32_t MCI_OPEN = 0x0803;
inline constexpr std::uint32_t MCI_CLOSE = 0x0804;
inline constexpr std::uint32_t MCI_PLAY = 0x0806;
inline constexpr std::uint32_t MCI_SEEK = 0x0807;
inline constexpr std::uint32_t MCI_STOP = 0x0808;
inline constexpr std::uint32_t MCI_PAUSE = 0x0809;
inline constexpr std::uint32_t MCI_GETDEVCAPS = 0x080B;
inline constexpr std::uint32_t MCI_SET = 0x080D;
inline constexpr std::uint32_t MCI_STATUS = 0x0814;
inline constexpr std::uint32_t MCI_WINDOW = 0x0841;
inline constexpr std::uint32_t MCI_WHERE = 0x0843;
inline constexpr std::uint32_t MCI_RESUME = 0x0855;
inline constexpr std::uint32_t MCI_SETAUDIO = 0x0873;

// Flags every command takes.
inline constexpr std::uint32_t MCI_NOTIFY = 0x1;
inline constexpr std::uint32_t MCI_WAIT = 0x2;
inline constexpr std::uint32_t MCI_FROM = 0x4;
inline constexpr std::uint32_t MCI_TO = 0x8;
inline constexpr std::uint32_t MCI_TRACK = 0x10;

// MCI_OPEN.
inline constexpr std::uint32_t MCI_OPEN_SHAREABLE = 0x100;
inline constexpr std::uint32_t MCI_OPEN_ELEMENT = 0x200;
inline constexpr std::uint32_t MCI_OPEN_TYPE = 0x2000;

// MCI_SEEK.
inline constexpr std::uint32_t MCI_SEEK_TO_START = 0x100;
inline constexpr std::uint32_t MCI_SEEK_TO_END = 0x200;

// MCI_STATUS.
inline constexpr std::uint32_t MCI_STATUS_ITEM = 0x100;
inline constexpr std::uint32_t MCI_STATUS_LENGTH = 1;
inline constexpr std::uint32_t MCI_STATUS_POSITION = 2;
inline constexpr std::uint32_t MCI_STATUS_NUMBER_OF_TRACKS = 3;
inline constexpr std::uint32_t MCI_STATUS_MODE = 4;
inline constexpr std::uint32_t MCI_STATUS_MEDIA_PRESENT = 5;
inline constexpr std::uint32_t MCI_STATUS_TIME_FORMAT = 6;
inline constexpr std::uint32_t MCI_STATUS_READY = 7;
inline constexpr std::uint32_t MCI_DGV_STATUS_VOLUME = 0x4019;

// Modes that MCI_STATUS_MODE reports.
inline constexpr std::uint32_t MCI_MODE_NOT_READY = 524;
inline constexpr std::uint32_t MCI_MODE_STOP = 525;
inline constexpr std::uint32_t MCI_MODE_PLAY = 526;
inline constexpr std::uint32_t MCI_MODE_RECORD = 527;
inline constexpr std::uint32_t MCI_MODE_SEEK = 528;
inline constexpr std::uint32_t MCI_MODE_PAUSE = 529;
inline constexpr std::uint32_t MCI_MODE_OPEN = 530;

// MCI_SET.
inline constexpr std::uint32_t MCI_SET_TIME_FORMAT = 0x400;
inline constexpr std::uint32_t MCI_FORMAT_MILLISECONDS = 0;
inline constexpr std::uint32_t MCI_FORMAT_TMSF = 10;

// MCI_GETDEVCAPS.
inline constexpr std::uint32_t MCI_GETDEVCAPS_ITEM = 0x100;
inline constexpr std::uint32_t MCI_GETDEVCAPS_CAN_RECORD = 1;
inline constexpr std::uint32_t MCI_GETDEVCAPS_HAS_AUDIO = 2;
inline constexpr std::uint32_t MCI_GETDEVCAPS_HAS_VIDEO = 3;
inline constexpr std::uint32_t MCI_GETDEVCAPS_DEVICE_TYPE = 4;
inline constexpr std::uint32_t MCI_GETDEVCAPS_USES_FILES = 5;
inline constexpr std::uint32_t MCI_GETDEVCAPS_COMPOUND_DEVICE = 6;
inline constexpr std::uint32_t MCI_GETDEVCAPS_CAN_EJECT = 7;
inline constexpr std::uint32_t MCI_GETDEVCAPS_CAN_PLAY = 8;
inline constexpr std::uint32_t MCI_GETDEVCAPS_CAN_SAVE = 9;

inline constexpr std::uint32_t MCI_DEVTYPE_VCR = 513;
inline constexpr std::uint32_t MCI_DEVTYPE_VIDEODISC = 514;
inline constexpr std::uint32_t MCI_DEVTYPE_OVERLAY = 515;
inline constexpr std::uint32_t MCI_DEVTYPE_CD_AUDIO = 516;
inline constexpr std::uint32_t MCI_DEVTYPE_DAT = 517;
inline constexpr std::uint32_t MCI_DEVTYPE_SCANNER = 518;
inline constexpr std::uint32_t MCI_DEVTYPE_ANIMATION = 519;
inline constexpr std::uint32_t MCI_DEVTYPE_DIGITAL_VIDEO = 520;
inline constexpr std::uint32_t MCI_DEVTYPE_OTHER = 521;
inline constexpr std::uint32_t MCI_DEVTYPE_WAVEFORM_AUDIO = 522;
inline constexpr std::uint32_t MCI_DEVTYPE_SEQUENCER = 523;

// MCI_WHERE and MCI_WINDOW of digital-video devices.
inline constexpr std::uint32_t MCI_DGV_WHERE_SOURCE = 0x20000;
inline constexpr std::uint32_t MCI_DGV_WHERE_DESTINATION = 0x40000;
inline constexpr std::uint32_t MCI_DGV_WINDOW_HWND = 0x10000;

// MCI_SETAUDIO.
inline constexpr std::uint32_t MCI_DGV_SETAUDIO_ITEM = 0x00800000;
inline constexpr std::uint32_t MCI_DGV_SETAUDIO_VALUE = 0x01000000;
inline constexpr std::uint32_t MCI_DGV_SETAUDIO_VOLUME = 0x4002;

// The completion message and its wParam values.
inline constexpr std::uint32_t MM_MCINOTIFY = 0x3B9;
inline constexpr std::uint32_t MCI_NOTIFY_SUCCESSFUL = 1;
inline constexpr std::uint32_t MCI_NOTIFY_SUPERSEDED = 2;
inline constexpr std::uint32_t MCI_NOTIFY_ABORTED = 4;
inline constexpr std::uint32_t MCI_NOTIFY_FAILURE = 8;

// Return codes. 0 is success.
inline constexpr MCIERROR MCIERR_BASE = 256;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
inline constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
inline constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = MCIERR_BASE + 10;
inline constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
inline constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
inline constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
inline constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
inline constexpr MCIERROR MCIERR_DRIVER = MCIERR_BASE + 22;
inline constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
inline constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
inline constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
inline constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
inline constexpr MCIERROR MCIERR_NONAPPLICABLE_FUNCTION = MCIERR_BASE + 46;
inline constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
inline constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
// Codes of this platform's own device.
inline constexpr MCIERROR MCIERR_CUSTOM_DRIVER_BASE = MCIERR_BASE + 256;
inline constexpr MCIERROR MCIERR_IS_DIRECTORY = MCIERR_CUSTOM_DRIVER_BASE + 1;
inline constexpr MCIERROR MCIERR_NOT_REGULAR_FILE = MCIERR_CUSTOM_DRIVER_BASE + 2;
inline constexpr MCIERROR MCIERR_EMPTY_FILE = MCIERR_CUSTOM_DRIVER_BASE + 3;
inline constexpr MCIERROR MCIERR_NO_DECODER = MCIERR_CUSTOM_DRIVER_BASE + 4;
inline constexpr MCIERROR MCIERR_TOO_MANY_FILES = MCIERR_CUSTOM_DRIVER_BASE + 5;

// Parameter blocks. dwCallback names the object that takes MM_MCINOTIFY
// (see MciCallbackOf).
struct MCI_GENERIC_PARMS {
    std::uintptr_t dwCallback = 0;
};

struct MCI_OPEN_PARMS {
    std::uintptr_t dwCallback = 0;
    MCIDEVICEID wDeviceID = 0;
    const char* lpstrDeviceType = nullptr;
    const char* lpstrElementName = nullptr;
    const char* lpstrAlias = nullptr;
};

struct MCI_PLAY_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uint32_t dwFrom = 0;
    std::uint32_t dwTo = 0;
};

struct MCI_SEEK_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uint32_t dwTo = 0;
};

struct MCI_STATUS_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uintptr_t dwReturn = 0;
    std::uint32_t dwItem = 0;
    std::uint32_t dwTrack = 0;
};

struct MCI_GETDEVCAPS_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uint32_t dwReturn = 0;
    std::uint32_t dwItem = 0;
};

struct MCI_SET_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uint32_t dwTimeFormat = 0;
    std::uint32_t dwAudio = 0;
};

struct MCI_RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct MCI_DGV_RECT_PARMS {
    std::uintptr_t dwCallback = 0;
    MCI_RECT rc;
};

struct MCI_DGV_WINDOW_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uintptr_t hWnd = 0;
    std::uint32_t nCmdShow = 0;
    const char* lpstrText = nullptr;
};

struct MCI_DGV_SETAUDIO_PARMS {
    std::uintptr_t dwCallback = 0;
    std::uint32_t dwItem = 0;
    std::uint32_t dwValue = 0;
    std::uint32_t dwOver = 0;
    const char* lpstrAlgorithm = nullptr;
    const char* lpstrQuality = nullptr;
};

class TMciLayer {
public:
    virtual ~TMciLayer() = default;

    // One command to `device` (0 for MCI_OPEN). `params` points at the block
    // that the command takes. Commands run on the user-interface thread.
    virtual MCIERROR SendCommand(MCIDEVICEID device, std::uint32_t command, std::uint32_t flags,
                                 void* params) = 0;

    // The text for a return code; "" when the layer has none.
    virtual std::string ErrorString(MCIERROR code) = 0;
};

// The layer that players of this process use: the one installed with
// SetMciLayer, or else the GStreamer device. nullptr goes back to GStreamer.
std::shared_ptr<TMciLayer> MciLayer();
void SetMciLayer(std::shared_ptr<TMciLayer> layer);

// MM_MCINOTIFY as a queued event: WParam is one of the MCI_NOTIFY_* values,
// Device the device that completed.
class TMciNotifyEvent : public QEvent {
public:
    TMciNotifyEvent(std::uint32_t wParam, MCIDEVICEID device);
    static QEvent::Type EventType();

    std::uint32_t WParam;
    MCIDEVICEID Device;
};

// An object's identity as a dwCallback, and back.
std::uintptr_t MciCallbackOf(QObject* window);
QObject* MciCallbackTarget(std::uintptr_t callback);

// Queues MM_MCINOTIFY for `window` on the user-interface thread. Events for
// an object that is deleted before they are taken are dropped.
void PostMciNotify(QObject* window, std::uint32_t wParam, MCIDEVICEID device);

} // namespace quellora
