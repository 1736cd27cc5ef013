#pragma once
// One open media device: a GStreamer playbin for one file, answering in
// milliseconds and MCI modes. Lives on the user-interface thread; the
// pipeline's streaming threads only wake it when the end of the stream or an
// error arrives.

#include "Mci.h"

#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

namespace quellora {

class TGstMciDevice {
public:
    // How long open waits for the file to get ready to play.
    static constexpr int OpenTimeoutMs = 5000;
    // Free descriptors that open asks for: a pipeline's own with room to
    // spare for the error report and a sound server's connection.
    static constexpr int DescriptorsNeeded = 16;

    // `waker` takes a TGstWakeEvent when the bus has news for this device.
    TGstMciDevice(MCIDEVICEID id, QObject* waker);
    ~TGstMciDevice();
    TGstMciDevice(const TGstMciDevice&) = delete;
    TGstMciDevice& operator=(const TGstMciDevice&) = delete;

    // Checks the file and pre-rolls it. On failure `detail` may carry the
    // media framework's own words.
    MCIERROR Open(const std::string& path, std::string& detail);

    MCIERROR Play(const std::uint32_t* from, const std::uint32_t* to, bool wait, QObject* notify);
    MCIERROR Stop();
    MCIERROR Pause();
    MCIERROR Resume(QObject* notify);
    MCIERROR SeekToStart();
    MCIERROR SeekToEnd();
    MCIERROR SeekTo(std::uint32_t ms);

    // Never equal before the stream has ended; equal once it has.
    std::uint32_t LengthMs();
    std::uint32_t PositionMs();
    std::uint32_t Mode();

    // 0..1000, the gain of the pipeline's own volume element.
    std::uint32_t Volume() const;
    MCIERROR SetVolume(std::uint32_t volume);

    // Handles what the streaming threads queued: end of stream, errors.
    void Drain();
    // A wake request was taken; the next bus message may post a new one.
    void ClearWake() { wakePending_ = false; }
    // The device is closing: a pending play notification is aborted.
    void AbortNotify();

    // The media framework's words for the last error of this device.
    const std::string& ErrorDetail() const { return errorDetail_; }

    // Pipelines made by devices of this process that GStreamer still holds;
    // a closed device has given its own back.
    static int LivePipelines();

private:
    enum class State { Stopped, Playing, Paused };
    friend struct TGstBusHook;
    // The next end-of-stream or error message, waiting at most `timeoutMs`.
    GstMessage* take(int timeoutMs);
    void handle(GstMessage* message);
    void endOfStream();
    void failed(GstMessage* message);
    std::int64_t durationMs();
    std::int64_t currentPosMs();
    std::int64_t queryPositionMs();
    std::int64_t queryDurationMs();
    std::int64_t estimateMs();
    bool waitForPreroll();
    MCIERROR seek(std::int64_t startMs, std::int64_t stopMs);
    MCIERROR reprerollIfBroken();
    void supersede(QObject* notify);
    void complete(std::uint32_t result);

    MCIDEVICEID id_;
    QObject* waker_;
    GstElement* playbin_ = nullptr;
    GstBus* bus_ = nullptr;
    GstElement* volume_ = nullptr; // in the audio path, as playbin's filter
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> durationDirty_{true};
    std::int64_t durationMs_ = -1;
    std::mutex queueLock_;
    std::condition_variable queued_;
    std::deque<GstMessage*> queue_;

    State state_ = State::Stopped;
    bool ended_ = false;        // played (or seeked) to the end of the medium
    std::uint32_t endMs_ = 0;   // length and position once ended
    bool broken_ = false;       // an error stopped the pipeline; re-preroll before use
    bool stopAtTo_ = false;     // the current play ends at an MCI_TO point
    std::uint32_t toMs_ = 0;
    bool heldAtTo_ = false;     // stopped at that point
    std::uint32_t lastPosMs_ = 0;
    std::uint32_t lastLengthMs_ = 0;
    std::int64_t fileBytes_ = 0;
    std::uint32_t bitrate_ = 0;
    QPointer<QObject> notify_;
    MCIERROR errorCode_ = 0;
    std::string errorDetail_;
};

// Posted by a device's bus to its waker; carries the device's identifier.
class TGstWakeEvent : public QEvent {
public:
    explicit TGstWakeEvent(MCIDEVICEID device);
    static QEvent::Type EventType();
    MCIDEVICEID Device;
};

} // namespace quellora
