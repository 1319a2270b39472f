#include "CapturePipeline.h"

#include "PreviewOutput.h"
#include "RecordingFile.h"
#include "RecordingSink.h"
#include "RecordingWriter.h"
#include "SoundMonitor.h"
#include "capture/contract/CaptureError.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace capture {

using namespace std::chrono_literals;

namespace {

constexpr auto kStartLimit = 5s;
// An encoder with look-ahead (x264enc's default) holds back its first output for a while.
constexpr auto kRecordStartLimit = 8s;
// Closing a recording drains what is queued (up to a second of pictures) at the disk's pace:
// wait as long as the file still grows, give up only when it stalls.
constexpr auto kFinishStall = 5s;
constexpr auto kFinishLimit = 120s;

// One stream into the muxer, as far as it has been recorded.
struct MuxerInput {
    CapturePipeline::Shared* shared;
    bool fed = false;
    std::atomic<std::int64_t> start{-1};
    std::atomic<std::int64_t> end{-1};

    double seconds() const
    {
        const std::int64_t first = start, last = end;
        return first >= 0 && last > first ? static_cast<double>(last - first) / GST_SECOND : 0.0;
    }
};

}  // namespace

// What the streaming threads and the GUI thread share for one run.
struct CapturePipeline::Shared : std::enable_shared_from_this<Shared> {
    std::mutex mutex;
    std::condition_variable changed;
    bool startingUp = true;
    std::optional<PipelineFailure> startFailure;
    bool reportedRecordFailure = false;
    bool reportedFatalFailure = false;
    QPointer<QObject> context;
    std::function<void(const PipelineFailure&)> onFailure;

    int muxerInputs = 0;
    int fedInputs = 0;
    bool previewWanted = false;
    bool previewShown = false;
    bool fileClosed = false;

    std::atomic<bool> recordStopping{false};
    std::atomic<std::int64_t> framesCaptured{0};
    std::atomic<std::int64_t> framesDropped{0};
    std::deque<MuxerInput> inputs;  // stable addresses: the muxer pads' probes point here
    std::int64_t lastSourceTime = -1;  // source thread only
    std::int64_t frameDuration = 0;

    SoundMonitor* sound = nullptr;  // the level meter and the tuner's playback, if any
    // Which element belongs to which part, to tell what a bus error means (not owned).
    std::vector<GstElement*> videoSource, audioSource, preview, record;

    bool ready() const
    {
        return fedInputs == muxerInputs && (!previewWanted || previewShown);
    }

    void notify(bool Shared::*flag)
    {
        {
            std::lock_guard lock(mutex);
            this->*flag = true;
        }
        changed.notify_all();
    }

    PipelineFailure classify(GstMessage* message) const
    {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        PipelineFailure failure;
        failure.text = error ? error->message : "unknown error";
        failure.diskFull = error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT;
        if (error && error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_NEGOTIATION)
            failure.notNegotiated = true;
        const GstStructure* details = nullptr;
        gst_message_parse_error_details(message, &details);
        gint flow = 0;
        if (details && gst_structure_get_enum(details, "flow-return", GST_TYPE_FLOW_RETURN, &flow))
            failure.notNegotiated = failure.notNegotiated || flow == GST_FLOW_NOT_NEGOTIATED;
        if (debug && g_strrstr(debug, "not-negotiated"))
            failure.notNegotiated = true;
        g_clear_error(&error);
        g_free(debug);

        GstObject* origin = GST_MESSAGE_SRC(message);
        auto within = [origin](const std::vector<GstElement*>& part) {
            for (GstElement* element : part)
                if (gst_object_has_as_ancestor(origin, GST_OBJECT(element)))
                    return true;
            return false;
        };
        if (within(record))
            failure.part = PipelineFailure::Part::Recording;
        else if (within(audioSource))
            failure.part = PipelineFailure::Part::AudioSource;
        else if (within(preview))
            failure.part = PipelineFailure::Part::Preview;
        else
            failure.part = PipelineFailure::Part::VideoSource;
        return failure;
    }

    // On the streaming thread that failed.
    void fail(const PipelineFailure& failure)
    {
        const bool recordOnly = failure.part == PipelineFailure::Part::Recording
                                || failure.part == PipelineFailure::Part::AudioSource;
        if (recordOnly)
            recordStopping = true;  // feed the muxer no more at once; the reserve takes the rest

        std::lock_guard lock(mutex);
        if (startingUp) {
            if (!startFailure)
                startFailure = failure;
            changed.notify_all();
            return;
        }
        bool& reported = recordOnly ? reportedRecordFailure : reportedFatalFailure;
        if (reported || !context)
            return;
        reported = true;
        QMetaObject::invokeMethod(
            context.data(),
            [weak = weak_from_this(), failure] {
                if (auto self = weak.lock()) {
                    std::function<void(const PipelineFailure&)> handler;
                    {
                        std::lock_guard lock(self->mutex);
                        handler = self->onFailure;
                    }
                    if (handler)
                        handler(failure);
                }
            },
            Qt::QueuedConnection);
    }
};

namespace {

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    auto* shared = static_cast<CapturePipeline::Shared*>(data);
    const bool taken = shared->sound && shared->sound->handle(message);
    if (!taken && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        shared->fail(shared->classify(message));
    // Nobody pops this bus: everything is handled here, nothing may pile up. A message the
    // handler drops is the handler's to release; kept, it would keep its element, and with
    // it the whole graph, alive after every stop.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

GstPadProbeReturn countSourceFrame(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* shared = static_cast<CapturePipeline::Shared*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    ++shared->framesCaptured;
    const GstClockTime time = GST_BUFFER_PTS(buffer);
    if (GST_CLOCK_TIME_IS_VALID(time) && shared->frameDuration > 0) {
        const auto now = static_cast<std::int64_t>(time);
        if (shared->lastSourceTime >= 0) {
            // A live source that fell behind leaves gaps in its timestamps.
            const std::int64_t gap = now - shared->lastSourceTime;
            const std::int64_t missed = (gap + shared->frameDuration / 2) / shared->frameDuration - 1;
            if (missed > 0)
                shared->framesDropped += missed;
        }
        shared->lastSourceTime = now;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn dropWhenStopping(GstPad*, GstPadProbeInfo*, gpointer data)
{
    auto* shared = static_cast<CapturePipeline::Shared*>(data);
    return shared->recordStopping ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

// Nothing here ever asks a source to end, so an end-of-stream from one means the device went
// away (some drivers say so this way instead of with an error).
template <PipelineFailure::Part part>
GstPadProbeReturn noticeSourceEnding(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS)
        static_cast<CapturePipeline::Shared*>(data)->fail(PipelineFailure{part, "it ended its stream", false, false});
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn watchMuxerInput(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* input = static_cast<MuxerInput*>(data);
    CapturePipeline::Shared& shared = *input->shared;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        const auto start = static_cast<std::int64_t>(GST_BUFFER_PTS(buffer));
        const auto end = start + (GST_BUFFER_DURATION_IS_VALID(buffer) ? static_cast<std::int64_t>(GST_BUFFER_DURATION(buffer)) : 0);
        // Only this stream's thread writes these.
        if (input->start < 0)
            input->start = start;
        if (end > input->end)
            input->end = end;
    }
    if (!input->fed) {
        input->fed = true;
        {
            std::lock_guard lock(shared.mutex);
            ++shared.fedInputs;
        }
        shared.changed.notify_all();
    }
    return GST_PAD_PROBE_OK;
}

void countOverrun(GstElement*, gpointer data)
{
    // The record queue is leaky: a full queue means the newest frame is thrown away.
    ++static_cast<CapturePipeline::Shared*>(data)->framesDropped;
}

std::string factoryName(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory ? GST_OBJECT_NAME(factory) : "element";
}

bool templatesMeet(GstElement* element, GstPadDirection direction, GstCaps* other)
{
    for (const GList* item = gst_element_class_get_pad_template_list(GST_ELEMENT_GET_CLASS(element)); item; item = item->next) {
        auto* templ = static_cast<GstPadTemplate*>(item->data);
        if (GST_PAD_TEMPLATE_DIRECTION(templ) != direction)
            continue;
        CapsPtr caps(gst_pad_template_get_caps(templ));
        if (gst_caps_can_intersect(caps.get(), other))
            return true;
    }
    return false;
}

}  // namespace

// Builds the elements of one run into the pipeline, and records who is who in Shared.
class CapturePipeline::Builder {
public:
    Builder(CapturePipeline& owner, FrameSink& sink) : m_owner(owner), m_sink(sink), m_shared(*owner.m_shared) {}

    GstElement* make(const char* factory, std::vector<GstElement*>& part, const char* name = nullptr)
    {
        ElementPtr element(gst_element_factory_make(factory, name));
        if (!element)
            throw CaptureError(std::string("The GStreamer element \"") + factory
                               + "\" is missing. Install the GStreamer plugins, then try again.");
        return add(std::move(element), part);
    }

    GstElement* add(ElementPtr element, std::vector<GstElement*>& part)
    {
        gst_bin_add(GST_BIN(m_owner.m_pipeline.get()), element.get());
        part.push_back(element.get());
        return element.get();  // the pipeline holds it now
    }

    static void link(GstElement* from, GstElement* to)
    {
        if (!gst_element_link(from, to))
            throw EncoderUnavailable(factoryName(from) + " cannot feed " + factoryName(to) + ".");
    }

    static void linkPads(GstPad* from, GstPad* to)
    {
        if (gst_pad_link(from, to) != GST_PAD_LINK_OK)
            throw EncoderUnavailable("The elements of the graph could not be linked.");
    }

    GstElement* capsFilter(const char* description, std::vector<GstElement*>& part)
    {
        GstElement* filter = make("capsfilter", part);
        CapsPtr caps(gst_caps_from_string(description));
        g_object_set(filter, "caps", caps.get(), nullptr);
        return filter;
    }

    GstElement* encoder(const EncoderChoice& choice, const char* rawMedia, const char* muxerTemplate)
    {
        ElementPtr element(gst_element_factory_make(choice.factory.c_str(), nullptr));
        if (!element)
            throw EncoderUnavailable("The encoder \"" + choice.factory + "\" is not installed.");
        CapsPtr raw(gst_caps_from_string(rawMedia));
        GstPadTemplate* muxerPads = gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(m_muxer), muxerTemplate);
        CapsPtr accepted(gst_pad_template_get_caps(muxerPads));
        if (!templatesMeet(element.get(), GST_PAD_SINK, raw.get()) || !templatesMeet(element.get(), GST_PAD_SRC, accepted.get()))
            throw EncoderUnavailable("The encoder \"" + choice.factory + "\" cannot write into an AVI file.");
        for (const auto& [property, value] : choice.properties) {
            // Name and parent place the element in the graph; they are not the encoder's settings.
            GParamSpec* param = g_object_class_find_property(G_OBJECT_GET_CLASS(element.get()), property.c_str());
            if (param && (param->flags & G_PARAM_WRITABLE) && param->owner_type != GST_TYPE_OBJECT)
                gst_util_set_object_arg(G_OBJECT(element.get()), property.c_str(), value.c_str());
        }
        return add(std::move(element), m_shared.record);
    }

    // avimux → RecordingSink; the muxer's inputs are requested per stream.
    void recordingOutput()
    {
        m_muxer = make("avimux", m_shared.record, "mux");
        m_owner.m_writer = std::make_unique<RecordingWriter>(m_owner.m_file->descriptor());
        std::weak_ptr<Shared> weak = m_owner.m_shared;
        GstElement* fileSink = add(createRecordingSink(*m_owner.m_writer,
                                                      [weak] {
                                                          if (auto shared = weak.lock())
                                                              shared->notify(&Shared::fileClosed);
                                                      }),
                                   m_shared.record);
        link(m_muxer, fileSink);
    }

    void muxerInput(GstElement* last, const char* padTemplate)
    {
        PadPtr muxerPad(gst_element_request_pad_simple(m_muxer, padTemplate));
        PadPtr from(gst_element_get_static_pad(last, "src"));
        linkPads(from.get(), muxerPad.get());
        MuxerInput& input = m_shared.inputs.emplace_back();
        input.shared = &m_shared;
        gst_pad_add_probe(muxerPad.get(), GST_PAD_PROBE_TYPE_BUFFER, watchMuxerInput, &input, nullptr);
        ++m_shared.muxerInputs;
    }

    void video(const CaptureRequest& request, const VideoFormat& format, bool preview, bool record)
    {
        GstElement* source = add(request.videoDevice->createSource(request.videoInput, format), m_shared.videoSource);
        const bool jpeg = format.pixelFormat == "MJPG";
        if (format.fpsNumerator > 0)
            m_shared.frameDuration = static_cast<std::int64_t>(
                gst_util_uint64_scale(GST_SECOND, static_cast<guint64>(format.fpsDenominator), static_cast<guint64>(format.fpsNumerator)));
        PadPtr sourcePad(gst_element_get_static_pad(source, "src"));
        if (!sourcePad)
            throw CaptureError("The video device \"" + request.videoDevice->name() + "\" gives no pictures.");
        gst_pad_add_probe(sourcePad.get(), GST_PAD_PROBE_TYPE_BUFFER, countSourceFrame, &m_shared, nullptr);
        gst_pad_add_probe(sourcePad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                          noticeSourceEnding<PipelineFailure::Part::VideoSource>, &m_shared, nullptr);

        GstElement* tee = make("tee", m_shared.videoSource, "split");
        g_object_set(tee, "allow-not-linked", TRUE, nullptr);
        link(source, tee);

        if (preview)
            previewBranch(tee, jpeg);
        if (record)
            videoRecordBranch(request, tee, jpeg);
    }

    void previewBranch(GstElement* tee, bool jpeg)
    {
        GstElement* queue = make("queue", m_shared.preview, "previewqueue");
        // Only the newest pictures matter to a live view.
        g_object_set(queue, "leaky", 2, "max-size-buffers", 2u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
        linkPads(PadPtr(gst_element_request_pad_simple(tee, "src_%u")).get(), PadPtr(gst_element_get_static_pad(queue, "sink")).get());
        GstElement* last = queue;
        if (jpeg) {
            GstElement* decoder = make("jpegdec", m_shared.preview);
            link(last, decoder);
            last = decoder;
        }
        GstElement* convert = make("videoconvert", m_shared.preview);
        link(last, convert);
        std::weak_ptr<Shared> weak = m_owner.m_shared;
        GstElement* output = add(createPreviewOutput(m_sink,
                                                     [weak, shown = false]() mutable {
                                                         if (shown)
                                                             return;
                                                         shown = true;
                                                         if (auto shared = weak.lock())
                                                             shared->notify(&Shared::previewShown);
                                                     }),
                                 m_shared.preview);
        link(convert, output);
        m_shared.previewWanted = true;
    }

    void videoRecordBranch(const CaptureRequest& request, GstElement* tee, bool jpeg)
    {
        GstElement* queue = make("queue", m_shared.record, "recordqueue");
        // About a second of slack for the disk; beyond that frames are dropped (and counted)
        // rather than stalling the source and the preview.
        g_object_set(queue, "leaky", 1, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", guint64(GST_SECOND), nullptr);
        g_signal_connect(queue, "overrun", G_CALLBACK(countOverrun), &m_shared);
        PadPtr teePad(gst_element_request_pad_simple(tee, "src_%u"));
        PadPtr entry(gst_element_get_static_pad(queue, "sink"));
        linkPads(teePad.get(), entry.get());
        gst_pad_add_probe(teePad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), dropWhenStopping, &m_shared, nullptr);
        m_owner.m_recordEntries.push_back(std::move(entry));

        // AVI counts frames, it keeps no timestamps: frames the source missed are repeated so
        // that picture and sound stay together.
        GstElement* rate = make("videorate", m_shared.record);
        link(queue, rate);
        GstElement* last = rate;
        if (request.videoEncoder) {
            if (jpeg) {
                GstElement* decoder = make("jpegdec", m_shared.record);
                link(last, decoder);
                last = decoder;
            }
            GstElement* convert = make("videoconvert", m_shared.record);
            link(last, convert);
            GstElement* encoder = this->encoder(*request.videoEncoder, "video/x-raw", "video_%u");
            link(convert, encoder);
            last = encoder;
        } else if (!jpeg) {
            GstElement* convert = make("videoconvert", m_shared.record);
            link(last, convert);
            GstElement* raw = capsFilter("video/x-raw, format=(string){ YUY2, I420, UYVY, BGRx, BGR, GRAY8 }", m_shared.record);
            link(convert, raw);
            last = raw;
        }
        // A Motion JPEG device without an encoder is stored as it comes.
        muxerInput(last, "video_%u");
    }

    void audio(const CaptureRequest& request, bool record, bool play)
    {
        GstElement* source = add(request.audioDevice->createSource(), m_shared.audioSource);
        PadPtr sourcePad(gst_element_get_static_pad(source, "src"));
        if (!sourcePad)
            throw CaptureError("The audio device \"" + request.audioDevice->name() + "\" gives no sound.");
        gst_pad_add_probe(sourcePad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                          noticeSourceEnding<PipelineFailure::Part::AudioSource>, &m_shared, nullptr);
        GstElement* tee = make("tee", m_shared.audioSource, "soundsplit");
        g_object_set(tee, "allow-not-linked", TRUE, nullptr);
        link(source, tee);
        m_owner.m_sound = std::make_unique<SoundMonitor>(GST_BIN(m_owner.m_pipeline.get()), tee,
                                                         SoundMonitor::Options{play, request.soundMuted});
        m_shared.sound = m_owner.m_sound.get();
        if (!record)
            return;

        GstElement* convert = make("audioconvert", m_shared.record);
        PadPtr teePad(gst_element_request_pad_simple(tee, "src_%u"));
        PadPtr entry(gst_element_get_static_pad(convert, "sink"));
        linkPads(teePad.get(), entry.get());
        gst_pad_add_probe(teePad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), dropWhenStopping, &m_shared, nullptr);
        m_owner.m_recordEntries.push_back(std::move(entry));
        GstElement* resample = make("audioresample", m_shared.record);
        link(convert, resample);
        GstElement* last = nullptr;
        if (request.audioEncoder) {
            last = encoder(*request.audioEncoder, "audio/x-raw", "audio_%u");
        } else {
            last = capsFilter("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, channels=(int)[1,2]", m_shared.record);
        }
        link(resample, last);
        GstElement* queue = make("queue", m_shared.record, "audioqueue");
        link(last, queue);
        muxerInput(queue, "audio_%u");
    }

private:
    CapturePipeline& m_owner;
    FrameSink& m_sink;
    Shared& m_shared;
    GstElement* m_muxer = nullptr;
};

CapturePipeline::CapturePipeline(const CaptureRequest& request, FrameSink& sink, RecordingFile* file)
    : m_shared(std::make_shared<Shared>()), m_pipeline(gst_pipeline_new("capture")), m_file(file)
{
    BusPtr bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), onBusMessage, m_shared.get(), nullptr);

    const bool toFile = request.toFile && file;
    const bool recordVideo = toFile && request.captureVideo && request.videoDevice;
    const bool recordAudio = toFile && request.captureAudio && request.audioDevice;
    const bool preview = request.videoDevice && (request.showPreview || !toFile);
    const bool playSound = preview && request.playSound && request.audioDevice;
    if (toFile && !recordVideo && !recordAudio)
        throw EncoderUnavailable("Neither picture nor sound is to be recorded.");
    if (!request.videoDevice && !toFile)
        throw CaptureError("There is no video device to show. Connect a camera, or choose one of the test devices.");

    Builder builder(*this, sink);
    if (toFile)
        builder.recordingOutput();
    if (preview || recordVideo) {
        std::optional<VideoFormat> format = request.videoFormat;
        if (!format) {
            const std::vector<VideoFormat> formats = request.videoDevice->formats(request.videoInput);
            if (formats.empty())
                throw CaptureError("The video device \"" + request.videoDevice->name() + "\" offers no picture format.");
            format = formats.front();
        }
        builder.video(request, *format, preview, recordVideo);
    }
    if (recordAudio || playSound)
        builder.audio(request, recordAudio, playSound);
    m_recordingOpen = toFile;
}

CapturePipeline::~CapturePipeline()
{
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    BusPtr bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    if (m_writer)
        m_writer->finish();
}

std::optional<PipelineFailure> CapturePipeline::play(QObject* context, std::function<void(const PipelineFailure&)> onFailure)
{
    const GstStateChangeReturn change = gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    std::unique_lock lock(m_shared->mutex);
    if (change != GST_STATE_CHANGE_FAILURE) {
        m_shared->changed.wait_for(lock, m_recordingOpen ? kRecordStartLimit : kStartLimit,
                                   [this] { return m_shared->startFailure || m_shared->ready(); });
    }
    std::optional<PipelineFailure> failure = m_shared->startFailure;
    if (!failure && change == GST_STATE_CHANGE_FAILURE)
        failure = PipelineFailure{PipelineFailure::Part::VideoSource, "the device could not be started", false, false};
    if (!failure && m_shared->fedInputs < m_shared->muxerInputs)
        failure = PipelineFailure{PipelineFailure::Part::Recording, "the encoder gave nothing to record", false, false};
    if (failure)
        return failure;

    m_shared->context = context;
    m_shared->onFailure = std::move(onFailure);
    m_shared->startingUp = false;
    return std::nullopt;
}

bool CapturePipeline::finishRecording()
{
    if (!m_recordingOpen)
        return false;
    m_recordingOpen = false;
    m_shared->recordStopping = true;
    for (const PadPtr& entry : m_recordEntries)
        gst_pad_send_event(entry.get(), gst_event_new_eos());

    const auto began = std::chrono::steady_clock::now();
    auto progressed = began;
    std::uint64_t written = m_writer->size();
    std::unique_lock lock(m_shared->mutex);
    bool closed = false;
    while (!(closed = m_shared->changed.wait_for(lock, 250ms, [this] { return m_shared->fileClosed; }))) {
        const auto now = std::chrono::steady_clock::now();
        if (m_writer->size() != written) {
            written = m_writer->size();
            progressed = now;
        }
        if (now - progressed > kFinishStall || now - began > kFinishLimit)
            break;
    }
    lock.unlock();
    if (closed)
        m_writer->finish();
    return closed;
}

bool CapturePipeline::recording() const
{
    return m_recordingOpen;
}

CaptureStats CapturePipeline::stats() const
{
    CaptureStats stats;
    stats.running = true;
    stats.recording = m_recordingOpen;
    stats.framesCaptured = m_shared->framesCaptured;
    stats.framesDropped = m_shared->framesDropped;
    if (m_writer)
        stats.bytesWritten = m_writer->size();
    for (const MuxerInput& input : m_shared->inputs)
        stats.recordedSeconds = std::max(stats.recordedSeconds, input.seconds());
    if (m_file)
        stats.fileName = m_file->name();
    return stats;
}

}  // namespace capture
