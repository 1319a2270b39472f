#include "SyncMarkReader.h"

#include "capture/gst/GstHandle.h"
#include "capture/devices/virtual/SyncMark.h"

#include <gst/video/video.h>

#include <cmath>
#include <cstdint>
#include <mutex>

namespace capture {

namespace {

constexpr int kSoundRate = 48000;
// Mean luma over the box above which a picture shows it; the box is white (235) over black (16)
// or snow (about 128).
constexpr double kBrightBox = 180;

struct Streams {
    std::mutex mutex;  // the two streams are decoded on their own threads
    GstClockTime frameDuration = 0;
    GstClockTime pictureEnd = 0;
    GstClockTime soundEnd = 0;
    bool boxShown = false;
    std::vector<double> flashes;
    // Sound: the last upward zero crossing, in samples from the start, and how many short
    // periods in a row came before it.
    std::int64_t soundStart = -1;
    std::int64_t sample = 0;
    std::int16_t previous = 0;
    std::int64_t lastCrossing = -1;
    int shortPeriods = 0;
    double lastBeep = -1e9;
    std::vector<double> beeps;
};

GstClockTime endOf(GstBuffer* buffer)
{
    GstClockTime end = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : 0;
    return GST_BUFFER_DURATION_IS_VALID(buffer) ? end + GST_BUFFER_DURATION(buffer) : end;
}

void onPicture(GstElement*, GstBuffer* buffer, GstPad* pad, gpointer data)
{
    auto* streams = static_cast<Streams*>(data);
    CapsPtr caps(gst_pad_get_current_caps(pad));
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps.get()))
        return;
    const SyncBox box = syncBoxOf(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    // The box's inner half, clear of the edges a codec blurs.
    const int inset = box.size / 4;
    std::uint64_t sum = 0, count = 0;
    for (int y = box.y + inset; y < box.y + box.size - inset && y < GST_VIDEO_INFO_HEIGHT(&info); ++y)
        for (int x = box.x + inset; x < box.x + box.size - inset && x < GST_VIDEO_INFO_WIDTH(&info); ++x, ++count)
            sum += map.data[std::size_t(y) * std::size_t(stride) + std::size_t(x)];
    gst_buffer_unmap(buffer, &map);

    const bool shown = count > 0 && double(sum) / double(count) > kBrightBox;
    std::lock_guard lock(streams->mutex);
    if (shown && !streams->boxShown && GST_BUFFER_PTS_IS_VALID(buffer))
        streams->flashes.push_back(double(GST_BUFFER_PTS(buffer)) / GST_SECOND);
    streams->boxShown = shown;
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        streams->frameDuration = GST_BUFFER_DURATION(buffer);
    streams->pictureEnd = std::max(streams->pictureEnd, endOf(buffer));
}

// The tone's period is 48 samples; the beep's 16. A beep starts at the first of four periods
// in a row shorter than the midpoint, half a mark period after the last beep at least.
void onSound(GstElement*, GstBuffer* buffer, GstPad*, gpointer data)
{
    auto* streams = static_cast<Streams*>(data);
    constexpr std::int64_t shortPeriod = kSoundRate / 2000;
    constexpr int periodsInARow = 4;
    std::vector<std::int16_t> samples(gst_buffer_get_size(buffer) / 2);
    gst_buffer_extract(buffer, 0, samples.data(), samples.size() * 2);
    std::lock_guard lock(streams->mutex);
    if (streams->soundStart < 0)
        streams->soundStart = GST_BUFFER_PTS_IS_VALID(buffer)
            ? std::int64_t(gst_util_uint64_scale_round(GST_BUFFER_PTS(buffer), kSoundRate, GST_SECOND))
            : 0;
    for (const std::int16_t value : samples) {
        const std::int64_t at = streams->soundStart + streams->sample++;
        if (streams->previous < 0 && value >= 0) {
            const bool isShort = streams->lastCrossing >= 0 && at - streams->lastCrossing < shortPeriod;
            streams->shortPeriods = isShort ? streams->shortPeriods + 1 : 0;
            streams->lastCrossing = at;
            const double beganAt = double(at - streams->shortPeriods * kSoundRate / int(syncBeepHz)) / kSoundRate;
            if (streams->shortPeriods == periodsInARow && beganAt - streams->lastBeep > double(syncMarkPeriodNs) / 2e9) {
                streams->beeps.push_back(beganAt);
                streams->lastBeep = beganAt;
            }
        }
        streams->previous = value;
    }
    streams->soundEnd = std::max(streams->soundEnd, endOf(buffer));
}

void onDecoded(GstElement*, GstPad* pad, gpointer data)
{
    auto* convert = static_cast<GstElement*>(data);
    PadPtr sink(gst_element_get_static_pad(convert, "sink"));
    if (!gst_pad_is_linked(sink.get()))
        gst_pad_link(pad, sink.get());
}

// Each of the file's first two streams: queue ! decodebin, then converted to grey pictures or
// mono 48 kHz sound, read at a fakesink's handoff.
void onStream(GstElement* demuxer, GstPad* pad, gpointer data)
{
    const bool video = g_str_has_prefix(GST_PAD_NAME(pad), "video_0");
    if (!video && !g_str_has_prefix(GST_PAD_NAME(pad), "audio_0"))
        return;
    ElementPtr parent(GST_ELEMENT(gst_element_get_parent(demuxer)));
    GstBin* bin = GST_BIN(parent.get());
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    GstElement* convert = gst_element_factory_make(video ? "videoconvert" : "audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make(video ? "identity" : "audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    CapsPtr caps(video ? gst_caps_from_string("video/x-raw, format=(string)GRAY8")
                       : gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "channels", G_TYPE_INT, 1,
                                             "rate", G_TYPE_INT, kSoundRate, nullptr));
    g_object_set(filter, "caps", caps.get(), nullptr);
    g_object_set(sink, "sync", FALSE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(video ? onPicture : onSound), data);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(onDecoded), convert);
    gst_bin_add_many(bin, queue, decoder, convert, resample, filter, sink, nullptr);
    gst_element_link(queue, decoder);
    gst_element_link_many(convert, resample, filter, sink, nullptr);
    for (GstElement* element : {sink, filter, resample, convert, decoder, queue})
        gst_element_sync_state_with_parent(element);
    PadPtr entry(gst_element_get_static_pad(queue, "sink"));
    gst_pad_link(pad, entry.get());
}

}  // namespace

SyncReading readSyncMarks(const std::string& path)
{
    Streams streams;
    ElementPtr pipeline(gst_pipeline_new(nullptr));
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* demuxer = gst_element_factory_make("avidemux", nullptr);
    SyncReading reading;
    if (!source || !demuxer) {
        reading.error = "GStreamer's file source or AVI demuxer is missing; install gstreamer1.0-plugins-good.";
        return reading;
    }
    g_object_set(source, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, demuxer, nullptr);
    gst_element_link(source, demuxer);
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(onStream), &streams);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    BusPtr bus(gst_element_get_bus(pipeline.get()));
    MessagePtr message(gst_bus_timed_pop_filtered(bus.get(), 600 * GST_SECOND,
                                                  GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    if (!message) {
        reading.error = "Reading " + path + " took more than ten minutes.";
    } else if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message.get(), &error, nullptr);
        reading.error = "Cannot read " + path + ": " + (error ? error->message : "unknown error") + ".";
        g_clear_error(&error);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);

    std::lock_guard lock(streams.mutex);
    reading.flashes = streams.flashes;
    reading.beeps = streams.beeps;
    reading.frameSeconds = double(streams.frameDuration) / GST_SECOND;
    reading.pictureEnd = double(streams.pictureEnd) / GST_SECOND;
    reading.soundEnd = double(streams.soundEnd) / GST_SECOND;
    for (const double flash : reading.flashes) {
        const double halfPeriod = double(syncMarkPeriodNs) / 2e9;
        for (const double beep : reading.beeps)
            if (std::abs(beep - flash) < halfPeriod) {
                reading.offsetsMs.push_back((beep - flash) * 1000);
                break;
            }
    }
    return reading;
}

}  // namespace capture
