#include "EncoderTrial.h"

#include "GstElements.h"
#include "LiveEncoder.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>

namespace capture {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTrialPictures = 30;
constexpr int kPicturesPerSecond = 30;
// Twice as fast as the pictures come: half the machine is left for the preview, the sound and
// the disk.
constexpr double kHeadroom = 2;
constexpr auto kSoundLimit = std::chrono::seconds(5);
// Until the first encoded picture: an encoder takes its time to set itself up, once.
constexpr auto kSetUpLimit = std::chrono::milliseconds(1500);

// When the encoder gave its first picture, on the steady clock; 0 before.
struct FirstOutput {
    std::atomic<Clock::rep> at{0};
};

struct Graph {
    ElementPtr pipeline{gst_pipeline_new(nullptr)};
    GstBin* bin() const { return GST_BIN(pipeline.get()); }
    GstElement* add(ElementPtr element)
    {
        gst_bin_add(bin(), element.get());
        return element.get();
    }
    // The end of every trial: the encoder, into AVI, into nothing. Null when they do not link.
    GstElement* encoderIntoFile(ElementPtr encoder)
    {
        GstElement* added = add(std::move(encoder));
        GstElement* muxer = add(makeElement("avimux"));
        GstElement* sink = add(makeElement("fakesink"));
        g_object_set(sink, "sync", FALSE, nullptr);
        return gst_element_link_many(added, muxer, sink, nullptr) ? added : nullptr;
    }
};

// The test camera's picture as a recording gives it: square pixels at 30 a second, 1280x720,
// or the first size of an encoder that takes only some. DV, which also wants its own rate and
// pixel shape, is not offered.
CapsPtr trialPictureCaps(const std::string& factory)
{
    const std::vector<PictureSize> sizes = sizesTakenBy(factory);
    const PictureSize size = sizes.empty() ? PictureSize{1280, 720} : sizes.front();
    return CapsPtr(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, size.width, "height", G_TYPE_INT, size.height,
                                       "framerate", GST_TYPE_FRACTION, kPicturesPerSecond, 1, "pixel-aspect-ratio",
                                       GST_TYPE_FRACTION, 1, 1, nullptr));
}

// Runs the graph until it ends, fails or `limit` passes; `ended` says when.
enum class Ending { Ended, Failed, TimedOut };
Ending run(GstElement* pipeline, Clock::duration limit, Clock::time_point* ended = nullptr)
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        return Ending::Failed;
    }
    GstHandle<GstBus> bus(gst_element_get_bus(pipeline));
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
    GstMessage* message = gst_bus_timed_pop_filtered(bus.get(), GstClockTime(left),
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (ended)
        *ended = Clock::now();
    const Ending ending = !message ? Ending::TimedOut
                          : GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS ? Ending::Ended
                                                                         : Ending::Failed;
    if (message)
        gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ending;
}

// The pace is taken from the encoder's first picture to its last, so that setting itself up
// (x264: a third of a second) does not count against it.
EncoderTrial tryPictures(const std::string& factory, ElementPtr made)
{
    FirstOutput first;
    Graph graph;
    GstElement* source = graph.add(makeElement("videotestsrc"));
    g_object_set(source, "num-buffers", kTrialPictures, nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "pattern", "ball");
    GstElement* shape = graph.add(makeElement("capsfilter"));
    g_object_set(shape, "caps", trialPictureCaps(factory).get(), nullptr);
    GstElement* convert = graph.add(makeElement("videoconvert"));
    // The pictures are drawn beside the encoder, as a camera's come from a thread of their own.
    GstElement* queue = graph.add(makeElement("queue"));
    GstElement* encoder = graph.encoderIntoFile(std::move(made));
    if (!encoder || !gst_element_link_many(source, shape, convert, queue, encoder, nullptr))
        return {false, "it does not take the test picture"};

    PadPtr encoded(gst_element_get_static_pad(encoder, "src"));
    addProbeOn<FirstOutput>(
        encoded.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, FirstOutput& output) {
            Clock::rep none = 0;
            output.at.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
            return GST_PAD_PROBE_OK;
        },
        first);

    const double fastest = kPicturesPerSecond * kHeadroom;
    const auto pace = std::chrono::duration<double>((kTrialPictures - 1) / fastest);
    Clock::time_point ended;
    switch (run(graph.pipeline.get(), kSetUpLimit + std::chrono::duration_cast<Clock::duration>(pace), &ended)) {
    case Ending::Ended:
        break;
    case Ending::Failed:
        return {false, "it did not encode the test picture"};
    case Ending::TimedOut:
        return {false, "it encodes fewer than " + std::to_string(int(fastest)) + " pictures a second"};
    }
    const Clock::time_point began{Clock::duration(first.at.load())};
    const double seconds = std::chrono::duration<double>(ended - began).count();
    if (first.at.load() == 0 || seconds <= 0)
        return {true, {}};  // all came at the end: nothing to say of the pace
    const double perSecond = (kTrialPictures - 1) / seconds;
    if (perSecond < fastest)
        return {false, "it encodes " + std::to_string(int(perSecond)) + " pictures a second, fewer than " +
                           std::to_string(int(fastest))};
    return {true, {}};
}

EncoderTrial trySound(ElementPtr made)
{
    Graph graph;
    GstElement* source = graph.add(makeElement("audiotestsrc"));
    g_object_set(source, "num-buffers", 50, "samplesperbuffer", 960, nullptr);
    GstElement* shape = graph.add(makeElement("capsfilter"));
    const CapsPtr tone(gst_caps_from_string("audio/x-raw, format=S16LE, rate=48000, channels=2"));
    g_object_set(shape, "caps", tone.get(), nullptr);
    GstElement* convert = graph.add(makeElement("audioconvert"));
    GstElement* resample = graph.add(makeElement("audioresample"));
    GstElement* encoder = graph.encoderIntoFile(std::move(made));
    if (!encoder || !gst_element_link_many(source, shape, convert, resample, encoder, nullptr))
        return {false, "it does not take the test tone"};
    if (run(graph.pipeline.get(), kSoundLimit) != Ending::Ended)
        return {false, "it did not encode the test tone"};
    return {true, {}};
}

}  // namespace

EncoderTrial tryEncoder(const std::string& factory, EncoderMedia media)
{
    gst_init(nullptr, nullptr);
    try {
        ElementPtr made = makeLiveEncoder(factory);
        if (!made)
            return {false, "it is not installed"};
        return media == EncoderMedia::Video ? tryPictures(factory, std::move(made)) : trySound(std::move(made));
    } catch (const std::exception&) {
        // An element of the trial itself is missing: nothing can be said of the encoder.
        return {false, "the trial could not be made"};
    }
}

std::string trialKey(GstElementFactory* factory)
{
    std::string key = GST_OBJECT_NAME(factory);
    GstHandle<GstPlugin> plugin(gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory)));
    if (!plugin)
        return key;
    const char* file = gst_plugin_get_filename(plugin.get());
    const char* version = gst_plugin_get_version(plugin.get());
    key += std::string(" ") + (version ? version : "?") + " " + (file ? file : "?");
    struct stat status {};
    if (file && ::stat(file, &status) == 0)
        key += " " + std::to_string(status.st_size) + " " + std::to_string(status.st_mtim.tv_sec);
    return key;
}

}  // namespace capture
