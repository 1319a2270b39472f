#include "SoundMonitor.h"

#include "capture/devices/DeviceFailure.h"
#include "capture/gst/PadProbe.h"

#include <QMetaObject>
#include <QObject>

namespace capture {

namespace {

constexpr GstClockTime LevelInterval = 50 * GST_MSECOND;
constexpr GstClockTime QueueLimit = 400 * GST_MSECOND;
// What the output holds before the sound is heard, in microseconds: small, so that the
// picture and its sound stay together and mute is heard at once; big enough for a busy
// machine not to stutter.
constexpr gint64 OutputBufferUs = 60000;
constexpr gint64 OutputPeriodUs = 10000;

GstElement* makeIn(GstBin* bin, const char* factory, std::vector<GstElement*>& made)
{
    ElementPtr element(gst_element_factory_make(factory, nullptr));
    if (!element)
        throw DeviceError(
            {.kind = DeviceFailure::Kind::MissingElement, .element = factory, .plugins = DeviceFailure::Plugins::Any});
    gst_bin_add(bin, element.get());
    made.push_back(element.get());
    return element.get();  // the bin holds it now
}

void linkOrThrow(GstElement* from, GstElement* to)
{
    if (!gst_element_link(from, to))
        throw DeviceError({.kind = DeviceFailure::Kind::SoundUnrouted});
}

// An output that opens: tried here, so that a machine without a sound server or card still
// previews, silently. Left closed again; the pipeline opens it when it starts.
ElementPtr openableOutput(const char* factory)
{
    ElementPtr sink(gst_element_factory_make(factory, nullptr));
    if (!sink)
        return {};
    g_object_set(sink.get(), "buffer-time", OutputBufferUs, "latency-time", OutputPeriodUs,
                 // The capture keeps the system clock; an output's own clock would pace the video.
                 "provide-clock", FALSE, nullptr);
    // Chasing the system clock sample by sample ("skew") throws sound away after every small
    // underrun of a busy machine, and the output falls silent for seconds; a sink that only
    // realigns when it is far off (its alignment threshold) plays on.
    gst_util_set_object_arg(G_OBJECT(sink.get()), "slave-method", "none");
    const bool opens = gst_element_set_state(sink.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(sink.get(), GST_STATE_NULL);
    return opens ? sink : ElementPtr();
}

std::vector<double> decibels(const GstStructure* structure, const char* field)
{
    std::vector<double> values;
    const GValue* value = gst_structure_get_value(structure, field);
    if (!value || !G_VALUE_HOLDS_BOXED(value))
        return values;
    // The level element still posts a GValueArray.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    auto* array = static_cast<GValueArray*>(g_value_get_boxed(value));
    for (guint i = 0; array && i < array->n_values; ++i)
        values.push_back(g_value_get_double(g_value_array_get_nth(array, i)));
    G_GNUC_END_IGNORE_DEPRECATIONS
    return values;
}

// The volume element marks muted buffers as gaps, and the output skips gaps: the sound
// server then runs dry, and after unmuting the output takes seconds to find its place again.
// Muted, the output must get its silence like any other sound.
GstPadProbeReturn playSilenceToo(GstPad*, GstPadProbeInfo* info)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_GAP))
        return GST_PAD_PROBE_OK;
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_GAP);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

struct Entry {
    GstElement* queue;
    std::atomic<bool>* outputFailed;
};

// The branch never holds up the recording beside it: once the output has failed it takes
// nothing more (so the failure does not travel back through the tee), and what an output that
// stalls leaves behind is thrown away. The queue itself is not leaky: a leaky queue before an
// audio sink makes the sink lose its place again and again, and the sound breaks up.
GstPadProbeReturn keepTheRecordingGoing(GstPad*, GstPadProbeInfo*, Entry& entry)
{
    if (entry.outputFailed->load())
        return GST_PAD_PROBE_DROP;
    guint64 queued = 0;
    g_object_get(entry.queue, "current-level-time", &queued, nullptr);
    return queued > QueueLimit / 2 ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

}  // namespace

SoundMonitor::SoundMonitor(GstBin* pipeline, GstElement* tee, Options options)
{
    GstElement* queue = makeIn(pipeline, "queue", m_elements);
    g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", guint64(QueueLimit), nullptr);
    GstElement* convert = makeIn(pipeline, "audioconvert", m_elements);
    m_level = makeIn(pipeline, "level", m_elements);
    g_object_set(m_level, "interval", guint64(LevelInterval), "post-messages", TRUE, nullptr);
    m_volume = makeIn(pipeline, "volume", m_elements);
    g_object_set(m_volume, "mute", options.muted ? TRUE : FALSE, nullptr);
    GstElement* outConvert = makeIn(pipeline, "audioconvert", m_elements);
    GstElement* resample = makeIn(pipeline, "audioresample", m_elements);
    GstElement* output = makeOutput(pipeline, options.play);

    PadPtr teePad(gst_element_request_pad_simple(tee, "src_%u"));
    PadPtr entry(gst_element_get_static_pad(queue, "sink"));
    if (!teePad || gst_pad_link(teePad.get(), entry.get()) != GST_PAD_LINK_OK)
        throw DeviceError({.kind = DeviceFailure::Kind::SoundUnrouted});
    addProbe(entry.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
             keepTheRecordingGoing, Entry{queue, &m_outputFailed});
    linkOrThrow(queue, convert);
    linkOrThrow(convert, m_level);
    linkOrThrow(m_level, m_volume);
    linkOrThrow(m_volume, outConvert);
    PadPtr muted(gst_element_get_static_pad(m_volume, "src"));
    addProbe(muted.get(), GST_PAD_PROBE_TYPE_BUFFER, playSilenceToo);
    linkOrThrow(outConvert, resample);
    linkOrThrow(resample, output);
}

SoundMonitor::~SoundMonitor() = default;

GstElement* SoundMonitor::makeOutput(GstBin* pipeline, bool play)
{
    if (play) {
        for (const char* factory : {"pulsesink", "alsasink"}) {
            if (ElementPtr sink = openableOutput(factory)) {
                gst_bin_add(pipeline, sink.get());
                m_elements.push_back(sink.get());
                m_playing = true;
                return sink.get();
            }
        }
    }
    GstElement* sink = makeIn(pipeline, "fakesink", m_elements);
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    return sink;
}

void SoundMonitor::setMuted(bool muted)
{
    g_object_set(m_volume, "mute", muted ? TRUE : FALSE, nullptr);
}

void SoundMonitor::setListener(QObject* context, std::function<void(const SoundLevel&)> onLevel)
{
    std::lock_guard lock(m_listenerLock);
    m_context = context;
    m_onLevel = std::move(onLevel);
}

bool SoundMonitor::owns(GstObject* origin) const
{
    for (GstElement* element : m_elements)
        if (origin == GST_OBJECT(element) || gst_object_has_as_ancestor(origin, GST_OBJECT(element)))
            return true;
    return false;
}

bool SoundMonitor::handle(GstMessage* message)
{
    GstObject* origin = GST_MESSAGE_SRC(message);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && owns(origin)) {
        // The sound is no longer heard; the picture and the recording go on.
        m_outputFailed = true;
        return true;
    }
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ELEMENT || origin != GST_OBJECT(m_level))
        return false;

    const GstStructure* structure = gst_message_get_structure(message);
    SoundLevel level;
    level.peak = decibels(structure, "peak");
    level.decay = decibels(structure, "decay");
    level.rms = decibels(structure, "rms");
    guint64 now = 0;
    gst_structure_get_uint64(structure, "running-time", &now);
    bool sound = false;
    for (double peak : level.peak)
        sound = sound || peak > SoundLevel::SilenceDb;
    if (sound || m_soundAt < 0)
        m_soundAt = static_cast<std::int64_t>(now);
    level.silentSeconds = static_cast<double>(static_cast<std::int64_t>(now) - m_soundAt) / GST_SECOND;

    std::lock_guard lock(m_listenerLock);
    if (m_context && m_onLevel)
        QMetaObject::invokeMethod(
            m_context.data(), [onLevel = m_onLevel, level] { onLevel(level); }, Qt::QueuedConnection);
    return true;
}

}  // namespace capture
