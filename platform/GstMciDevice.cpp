#include "GstMciDevice.h"

#include <QCoreApplication>

#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quellora {

namespace {

// playbin's "flags": audio only (a video file renamed ".mp3" must not open a
// window of its own). Not its soft volume: that keeps one volume element
// alive for good per pipeline (GStreamer 1.22), so the device brings its own
// as the audio filter.
constexpr unsigned PlayFlagAudio = 0x2;

std::atomic<int> livePipelines{0};

void PipelineGone(gpointer, GObject*)
{
    --livePipelines;
}

std::uint32_t clampMs(std::int64_t ms)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, INT32_MAX));
}

bool OutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// Whether `fd` can be copied `count` times. A pipeline takes descriptors of
// its own as it starts (the file, the bus's two sockets, plugins as they
// load), and once none are left the error report cannot show itself either:
// a device refuses to open, clearly, while that many are still free.
bool DescriptorsToSpare(int fd, int count)
{
    std::vector<int> copies;
    bool spare = true;
    while (int(copies.size()) < count) {
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) {
            spare = !OutOfDescriptors(errno);
            break;
        }
        copies.push_back(copy);
    }
    for (int copy : copies)
        ::close(copy);
    return spare;
}

// Tells bad names apart before GStreamer sees them: opening a FIFO would
// block, and the file system knows best why a name cannot be read.
MCIERROR CheckFile(const std::string& path, std::int64_t& bytes)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == EACCES ? MCIERR_FILE_READ : MCIERR_FILE_NOT_FOUND;
    if (S_ISDIR(st.st_mode))
        return MCIERR_IS_DIRECTORY;
    if (!S_ISREG(st.st_mode))
        return MCIERR_NOT_REGULAR_FILE;
    // Non-blocking, in case the name was swapped for a FIFO meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return OutOfDescriptors(errno) ? MCIERR_TOO_MANY_FILES : MCIERR_FILE_READ;
    MCIERROR result = 0;
    char byte = 0;
    if (!DescriptorsToSpare(fd, TGstMciDevice::DescriptorsNeeded))
        result = MCIERR_TOO_MANY_FILES;
    else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        result = MCIERR_NOT_REGULAR_FILE;
    else if (const ssize_t n = ::read(fd, &byte, 1); n < 0)
        result = MCIERR_FILE_READ;
    else if (n == 0)
        result = MCIERR_EMPTY_FILE;
    bytes = st.st_size;
    ::close(fd);
    return result;
}

MCIERROR ErrorCodeOf(const GError* error)
{
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return MCIERR_FILE_NOT_FOUND;
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
        case GST_RESOURCE_ERROR_READ:
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
            return MCIERR_FILE_READ;
        default:
            break;
        }
    } else if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
            return MCIERR_INVALID_FILE;
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
            return MCIERR_NO_DECODER;
        default:
            break;
        }
    } else if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) {
        return MCIERR_NO_DECODER;
    }
    return MCIERR_DRIVER;
}

// The code and text of an error message.
MCIERROR ParseError(GstMessage* message, std::string& detail)
{
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    if (!error)
        return MCIERR_DRIVER;
    detail = error->message ? error->message : "";
    const MCIERROR code = ErrorCodeOf(error);
    g_error_free(error);
    return code;
}

} // namespace

// Runs on the streaming threads: keeps only what the device acts on, in its
// own queue (the bus would queue a message only after this returns, so a
// woken user-interface thread might not find it there yet), and wakes the
// user-interface thread once until it has looked. A dropped message is ours
// to release, and every message holds its source, so one kept by mistake
// keeps the whole pipeline alive.
struct TGstBusHook {
    static GstBusSyncReply Sync(GstBus*, GstMessage* message, gpointer data)
    {
        auto* self = static_cast<TGstMciDevice*>(data);
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_DURATION_CHANGED)
            self->durationDirty_ = true;
        if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR) {
            gst_message_unref(message);
            return GST_BUS_DROP;
        }
        {
            std::lock_guard<std::mutex> lock(self->queueLock_);
            self->queue_.push_back(message); // the queue's reference now
        }
        self->queued_.notify_all();
        if (self->waker_ && !self->wakePending_.exchange(true) && QCoreApplication::instance())
            QCoreApplication::postEvent(self->waker_, new TGstWakeEvent(self->id_));
        return GST_BUS_DROP;
    }
};

TGstWakeEvent::TGstWakeEvent(MCIDEVICEID device) : QEvent(EventType()), Device(device) {}

QEvent::Type TGstWakeEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TGstMciDevice::TGstMciDevice(MCIDEVICEID id, QObject* waker) : id_(id), waker_(waker) {}

TGstMciDevice::~TGstMciDevice()
{
    // NULL joins the streaming threads, so the bus hook runs no more.
    if (playbin_)
        gst_element_set_state(playbin_, GST_STATE_NULL);
    if (bus_) {
        // Whatever is posted from here on is dropped, not queued on the
        // bus, where it would hold its source and so the pipeline.
        gst_bus_set_flushing(bus_, TRUE);
        gst_bus_set_sync_handler(bus_, nullptr, nullptr, nullptr);
        gst_object_unref(bus_);
    }
    if (playbin_)
        gst_object_unref(playbin_);
    if (volume_)
        gst_object_unref(volume_);
    for (GstMessage* message : queue_)
        gst_message_unref(message);
}

int TGstMciDevice::LivePipelines()
{
    return livePipelines;
}

GstMessage* TGstMciDevice::take(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(queueLock_);
    // A look without a wait must not go through the timed wait: it costs a
    // system call at every status question.
    if (queue_.empty() &&
        (timeoutMs <= 0 ||
         !queued_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty(); })))
        return nullptr;
    GstMessage* message = queue_.front();
    queue_.pop_front();
    return message;
}

MCIERROR TGstMciDevice::Open(const std::string& path, std::string& detail)
{
    if (const MCIERROR rc = CheckFile(path, fileBytes_))
        return rc;
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (!playbin_) {
        detail = "it could not make a playbin element";
        return MCIERR_CANNOT_LOAD_DRIVER;
    }
    gst_object_ref_sink(playbin_);
    ++livePipelines;
    g_object_weak_ref(G_OBJECT(playbin_), &PipelineGone, nullptr);
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    if (!uri) {
        detail = error ? error->message : "";
        if (error)
            g_error_free(error);
        return MCIERR_FILE_NOT_FOUND;
    }
    g_object_set(playbin_, "uri", uri, "flags", PlayFlagAudio, nullptr);
    g_free(uri);
    volume_ = gst_element_factory_make("volume", nullptr);
    if (!volume_) {
        detail = "it could not make a volume element";
        return MCIERR_CANNOT_LOAD_DRIVER;
    }
    gst_object_ref_sink(volume_);
    g_object_set(playbin_, "audio-filter", volume_, nullptr);
    // Without sinks of their own, playbin tries the system's video and text
    // sinks on whatever a file holds, a picture renamed ".mp3" for one, and
    // some of them (DirectFB's) crash the process as they load.
    for (const char* property : {"video-sink", "text-sink"}) {
        if (GstElement* none = gst_element_factory_make("fakesink", nullptr))
            g_object_set(playbin_, property, none, nullptr);
    }
    bus_ = gst_element_get_bus(playbin_);
    gst_bus_set_sync_handler(bus_, &TGstBusHook::Sync, this, nullptr);

    GstStateChangeReturn ret = gst_element_set_state(playbin_, GST_STATE_PAUSED);
    if (ret != GST_STATE_CHANGE_FAILURE)
        ret = gst_element_get_state(playbin_, nullptr, nullptr, OpenTimeoutMs * GST_MSECOND);
    // The first error names the cause; the generic ones follow it. A failed
    // state change can return before its error has reached the bus.
    const int grace = ret == GST_STATE_CHANGE_FAILURE ? 1000 : 0;
    // A picture or a silent video may pre-roll, or fail on its other
    // streams with a generic error: either way there is nothing to hear.
    gint audioStreams = 0;
    g_object_get(playbin_, "n-audio", &audioStreams, nullptr);
    while (GstMessage* message = take(grace)) {
        const bool error = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
        const MCIERROR rc = error ? ParseError(message, detail) : 0;
        gst_message_unref(message);
        if (error)
            return rc == MCIERR_DRIVER && audioStreams == 0 ? MCIERR_INVALID_FILE : rc;
    }
    if (ret == GST_STATE_CHANGE_FAILURE)
        return MCIERR_DRIVER;
    if (ret == GST_STATE_CHANGE_ASYNC)
        return MCIERR_DEVICE_NOT_READY;
    return audioStreams > 0 ? 0 : MCIERR_INVALID_FILE;
}

void TGstMciDevice::Drain()
{
    while (GstMessage* message = take(0)) {
        handle(message);
        gst_message_unref(message);
    }
}

void TGstMciDevice::handle(GstMessage* message)
{
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS)
        endOfStream();
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        failed(message);
}

void TGstMciDevice::endOfStream()
{
    if (broken_)
        return;
    if (stopAtTo_) {
        heldAtTo_ = true;
        lastPosMs_ = toMs_;
    } else {
        // From now on position and length are one number: the controller
        // compares them to know that the file has ended.
        const std::int64_t duration = queryDurationMs();
        endMs_ = clampMs(duration >= 0 ? duration : std::max<std::int64_t>(queryPositionMs(), lastPosMs_));
        ended_ = true;
    }
    stopAtTo_ = false;
    state_ = State::Stopped;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    complete(MCI_NOTIFY_SUCCESSFUL);
}

void TGstMciDevice::failed(GstMessage* message)
{
    // Only the first error counts; the generic ones that follow it add nothing.
    if (broken_)
        return;
    errorCode_ = ParseError(message, errorDetail_);
    broken_ = true;
    // A file that breaks off counts as played to where it broke, so that the
    // playlist moves on instead of waiting for an end that never comes.
    ended_ = true;
    endMs_ = std::max(lastLengthMs_, lastPosMs_);
    stopAtTo_ = heldAtTo_ = false;
    state_ = State::Stopped;
    gst_element_set_state(playbin_, GST_STATE_READY);
    complete(MCI_NOTIFY_FAILURE);
}

std::int64_t TGstMciDevice::queryPositionMs()
{
    gint64 ns = -1;
    if (!gst_element_query_position(playbin_, GST_FORMAT_TIME, &ns) || ns < 0)
        return -1;
    return ns / GST_MSECOND;
}

std::int64_t TGstMciDevice::queryDurationMs()
{
    gint64 ns = -1;
    if (!gst_element_query_duration(playbin_, GST_FORMAT_TIME, &ns) || ns < 0)
        return -1;
    return ns / GST_MSECOND;
}

// A file without a header that states its length: size over bit rate, until
// the parser has seen enough frames to say.
std::int64_t TGstMciDevice::estimateMs()
{
    if (!bitrate_) {
        GstTagList* tags = nullptr;
        g_signal_emit_by_name(playbin_, "get-audio-tags", 0, &tags);
        if (tags) {
            guint rate = 0;
            if (gst_tag_list_get_uint(tags, GST_TAG_NOMINAL_BITRATE, &rate) ||
                gst_tag_list_get_uint(tags, GST_TAG_BITRATE, &rate))
                bitrate_ = rate;
            gst_tag_list_unref(tags);
        }
    }
    if (!bitrate_ || fileBytes_ <= 0)
        return 0;
    return fileBytes_ * 8000 / bitrate_;
}

// The duration is asked for again only when the parser says it changed;
// while unknown it is asked for at every look.
std::int64_t TGstMciDevice::durationMs()
{
    if (durationDirty_.exchange(false) || durationMs_ < 0)
        durationMs_ = queryDurationMs();
    return durationMs_;
}

std::int64_t TGstMciDevice::currentPosMs()
{
    if (heldAtTo_)
        return toMs_;
    const std::int64_t pos = queryPositionMs();
    return pos >= 0 ? pos : lastPosMs_;
}

std::uint32_t TGstMciDevice::LengthMs()
{
    Drain();
    if (ended_)
        return endMs_;
    const std::int64_t duration = durationMs();
    if (duration >= 0)
        lastLengthMs_ = std::max<std::uint32_t>(clampMs(duration), 1);
    else // unknown: never a length that the position has reached
        lastLengthMs_ = clampMs(std::max(estimateMs(), currentPosMs() + 1));
    return lastLengthMs_;
}

// Stays short of the length until the end of the stream, also when it
// crosses a millisecond between the two questions of one tick.
std::uint32_t TGstMciDevice::PositionMs()
{
    Drain();
    if (ended_)
        return endMs_;
    std::uint32_t pos = clampMs(currentPosMs());
    const std::int64_t duration = durationMs();
    const std::uint32_t length = duration >= 0 ? std::max<std::uint32_t>(clampMs(duration), 1) : lastLengthMs_;
    if (length > 0)
        pos = std::min(pos, length - 1);
    lastPosMs_ = pos;
    return pos;
}

std::uint32_t TGstMciDevice::Mode()
{
    Drain();
    switch (state_) {
    case State::Playing:
        return MCI_MODE_PLAY;
    case State::Paused:
        return MCI_MODE_PAUSE;
    case State::Stopped:
        break;
    }
    return MCI_MODE_STOP;
}

bool TGstMciDevice::waitForPreroll()
{
    const GstStateChangeReturn ret = gst_element_get_state(playbin_, nullptr, nullptr, OpenTimeoutMs * GST_MSECOND);
    return ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL;
}

// A flushing seek in the paused state; an end of stream queued before it is stale.
MCIERROR TGstMciDevice::seek(std::int64_t startMs, std::int64_t stopMs)
{
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    const bool ok = gst_element_seek(playbin_, 1.0, GST_FORMAT_TIME,
                                     GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
                                     startMs * GST_MSECOND, GST_SEEK_TYPE_SET,
                                     stopMs >= 0 ? GstClockTime(stopMs * GST_MSECOND) : GST_CLOCK_TIME_NONE);
    if (!ok) {
        errorDetail_ = "the stream cannot seek";
        return MCIERR_DRIVER;
    }
    if (!waitForPreroll())
        return MCIERR_DEVICE_NOT_READY;
    while (GstMessage* message = take(0)) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            failed(message);
        gst_message_unref(message);
    }
    if (broken_)
        return errorCode_;
    ended_ = heldAtTo_ = stopAtTo_ = false;
    lastPosMs_ = clampMs(startMs);
    return 0;
}

// After an error the pipeline went to READY; it pre-rolls from the start again.
MCIERROR TGstMciDevice::reprerollIfBroken()
{
    if (!broken_)
        return 0;
    broken_ = false;
    ended_ = false;
    lastPosMs_ = 0;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    const bool ready = waitForPreroll();
    Drain();
    if (broken_)
        return errorCode_;
    return ready ? 0 : MCIERR_DEVICE_NOT_READY;
}

MCIERROR TGstMciDevice::Play(const std::uint32_t* from, const std::uint32_t* to, bool wait, QObject* notify)
{
    Drain();
    if (ended_ && !from) {
        // At the end of the medium play has nothing to do, and is done.
        supersede(notify);
        complete(MCI_NOTIFY_SUCCESSFUL);
        return 0;
    }
    if (const MCIERROR rc = reprerollIfBroken())
        return rc;
    if (from || to || heldAtTo_) {
        const std::uint32_t length = LengthMs();
        const std::uint32_t start = from ? *from : PositionMs();
        if (start > length || (to && (*to > length || *to < start)))
            return MCIERR_OUTOFRANGE;
        if (const MCIERROR rc = seek(start, to ? std::int64_t(*to) : -1))
            return rc;
        stopAtTo_ = to != nullptr;
        toMs_ = to ? *to : 0;
    }
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Drain();
        return MCIERR_DRIVER;
    }
    state_ = State::Playing;
    supersede(notify);
    while (wait && state_ == State::Playing) {
        if (GstMessage* message = take(100)) {
            handle(message);
            gst_message_unref(message);
        }
    }
    return 0;
}

MCIERROR TGstMciDevice::Stop()
{
    Drain();
    if (state_ != State::Stopped && !broken_)
        gst_element_set_state(playbin_, GST_STATE_PAUSED);
    state_ = State::Stopped;
    complete(MCI_NOTIFY_ABORTED);
    return 0;
}

MCIERROR TGstMciDevice::Pause()
{
    Drain();
    if (state_ == State::Playing) {
        gst_element_set_state(playbin_, GST_STATE_PAUSED);
        state_ = State::Paused;
    }
    return 0;
}

MCIERROR TGstMciDevice::Resume(QObject* notify)
{
    Drain();
    if (state_ != State::Paused)
        return MCIERR_NONAPPLICABLE_FUNCTION;
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Drain();
        return MCIERR_DRIVER;
    }
    state_ = State::Playing;
    if (notify)
        supersede(notify);
    return 0;
}

MCIERROR TGstMciDevice::SeekToStart()
{
    return SeekTo(0);
}

MCIERROR TGstMciDevice::SeekTo(std::uint32_t ms)
{
    Drain();
    complete(MCI_NOTIFY_ABORTED);
    state_ = State::Stopped;
    if (const MCIERROR rc = reprerollIfBroken())
        return rc;
    if (ms > LengthMs())
        return MCIERR_OUTOFRANGE;
    return seek(ms, -1);
}

MCIERROR TGstMciDevice::SeekToEnd()
{
    Drain();
    complete(MCI_NOTIFY_ABORTED);
    const std::uint32_t length = LengthMs();
    if (state_ != State::Stopped && !broken_)
        gst_element_set_state(playbin_, GST_STATE_PAUSED);
    state_ = State::Stopped;
    ended_ = true;
    endMs_ = length;
    return 0;
}

MCIERROR TGstMciDevice::SetVolume(std::uint32_t volume)
{
    if (volume > 1000)
        return MCIERR_OUTOFRANGE;
    g_object_set(volume_, "volume", volume / 1000.0, nullptr);
    return 0;
}

// Read from the pipeline itself, so that the answer is what is heard.
std::uint32_t TGstMciDevice::Volume() const
{
    gdouble level = 0;
    g_object_get(volume_, "volume", &level, nullptr);
    return static_cast<std::uint32_t>(std::lround(level * 1000));
}

void TGstMciDevice::supersede(QObject* notify)
{
    if (notify_)
        PostMciNotify(notify_, MCI_NOTIFY_SUPERSEDED, id_);
    notify_ = notify;
}

void TGstMciDevice::complete(std::uint32_t result)
{
    if (notify_) {
        PostMciNotify(notify_, result, id_);
        notify_.clear();
    }
}

void TGstMciDevice::AbortNotify()
{
    complete(MCI_NOTIFY_ABORTED);
}

} // namespace quellora
