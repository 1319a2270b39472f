#include "PictureHold.h"

#include "EngineLog.h"
#include "RunningTime.h"

#include "capture/devices/GstElements.h"
#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace capture {

namespace {

using namespace std::chrono_literals;

constexpr auto kLook = 100ms;
// The sound's record queue holds more than a second: holding the picture this soon leaves it
// room, and a few late frames from a source that is merely slow are not mistaken for a stall.
constexpr GstClockTime kHoldAfter = 400 * GST_MSECOND;

}  // namespace

struct PictureHold::Shared {
    ~Shared()
    {
        if (last)
            gst_buffer_unref(last);
    }

    GstElement* pipeline = nullptr;
    PadPtr entry;
    GstElement* queue = nullptr;  // the entry's element; the pipeline holds it
    GstClockTime frame = 0;
    GstClockTime holdAfter = kHoldAfter;

    std::mutex mutex;  // the branch's streaming thread notes pictures, the hold's thread reads them
    std::condition_variable wake;
    bool stopped = false;
    GstBuffer* last = nullptr;
    GstClockTime lastEnd = GST_CLOCK_TIME_NONE;  // running time
};

namespace {

GstPadProbeReturn notePicture(GstPad* pad, GstPadProbeInfo* info, std::shared_ptr<PictureHold::Shared>& handle)
{
    PictureHold::Shared& shared = *handle;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : shared.frame;
    const GstClockTime end = toRunningTime(pad, GST_BUFFER_PTS(buffer)) + duration;
    std::lock_guard lock(shared.mutex);
    if (!GST_CLOCK_TIME_IS_VALID(shared.lastEnd) || end > shared.lastEnd)
        shared.lastEnd = end;
    if (!shared.stopped)
        gst_buffer_replace(&shared.last, buffer);
    return GST_PAD_PROBE_OK;
}

// Pictures still queued are the muxer's to take (a disk that fell behind): nothing needs
// holding until they are gone.
bool queueEmpty(GstElement* queue)
{
    guint queued = 0;
    if (queue)
        g_object_get(queue, "current-level-buffers", &queued, nullptr);
    return queued == 0;
}

}  // namespace

PictureHold::PictureHold(GstElement* pipeline, GstPad* entry, GstClockTime frameDuration)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->pipeline = pipeline;
    m_shared->entry = PadPtr(GST_PAD(gst_object_ref(entry)));
    if (GstElement* queue = gst_pad_get_parent_element(entry)) {
        m_shared->queue = queue;
        gst_object_unref(queue);
    }
    m_shared->frame = frameDuration;
    // At a low rate a frame's wait is no stall.
    m_shared->holdAfter = std::max(kHoldAfter, 2 * frameDuration);
    addProbe(entry, GST_PAD_PROBE_TYPE_BUFFER, notePicture, m_shared);
    m_thread = std::thread([this] { run(); });
}

PictureHold::~PictureHold()
{
    stop();
}

void PictureHold::stop()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopped = true;
    }
    m_shared->wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    // The pad's probe holds the shared part until the pad goes: it must not hold the pad in
    // turn. The picture is the driver's buffer, which the device wants back.
    std::lock_guard lock(m_shared->mutex);
    m_shared->entry = PadPtr();
    gst_clear_buffer(&m_shared->last);
}

void PictureHold::run()
{
    Shared& shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    while (!shared.wake.wait_for(lock, kLook, [&shared] { return shared.stopped; })) {
        if (shared.stopped || !shared.last || !GST_CLOCK_TIME_IS_VALID(shared.lastEnd) || shared.frame == 0)
            continue;
        const GstClockTime now = runningTimeNow(shared.pipeline);
        if (!GST_CLOCK_TIME_IS_VALID(now) || now < shared.lastEnd + shared.holdAfter || !queueEmpty(shared.queue))
            continue;
        // A frame's time back from now: a picture the source takes meanwhile comes after it.
        GstBuffer* again = gst_buffer_copy(shared.last);
        GST_BUFFER_PTS(again) = fromRunningTime(shared.entry.get(), now - shared.frame);
        GST_BUFFER_DTS(again) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(again) = shared.frame;
        GST_BUFFER_FLAG_UNSET(again, GST_BUFFER_FLAG_DISCONT);
        lock.unlock();
        qCDebug(lcEngine, "no picture for %lld ms: the recording holds the last one",
                static_cast<long long>((now - shared.lastEnd) / GST_MSECOND));
        // The queue takes it at once (it drops rather than blocks); its pad's stream lock
        // keeps this apart from the tee's pictures.
        gst_pad_chain(shared.entry.get(), again);
        lock.lock();
    }
}

}  // namespace capture
