#include "EncoderTrial.h"

#include "GstElements.h"
#include "LiveEncoder.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace capture {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTrialPictures = 30;
constexpr int kPicturesPerSecond = 30;
// A second of pictures may cost at most this much processor time, drawing the test picture
// included: half of a 2-core machine, the rest left for the preview, the sound and the disk.
// Time on the processor, unlike time on the clock, hardly changes with what else runs.
constexpr double kMostCpuPerSecond = 1.0;
constexpr auto kSoundLimit = std::chrono::seconds(5);
constexpr auto kReadBackLimit = std::chrono::seconds(5);
// Until the first encoded picture: an encoder takes its time to set itself up, once.
constexpr auto kSetUpLimit = std::chrono::milliseconds(1500);
// From the first encoded picture to the last, on a machine busy with other work too.
constexpr auto kPaceLimit = std::chrono::seconds(3);

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The process's processor time when the encoder gave its first picture; negative before.
struct FirstOutput {
    std::atomic<double> cpu{-1};
};

struct Graph {
    ElementPtr pipeline{gst_pipeline_new(nullptr)};
    GstBin* bin() const { return GST_BIN(pipeline.get()); }
    GstElement* add(ElementPtr element)
    {
        gst_bin_add(bin(), element.get());
        return element.get();
    }
    // The end of every trial: the encoder, into an AVI file. Null when they do not link.
    GstElement* encoderIntoFile(ElementPtr encoder, const std::string& file)
    {
        GstElement* added = add(std::move(encoder));
        GstElement* muxer = add(makeElement("avimux"));
        GstElement* sink = add(makeElement("filesink"));
        g_object_set(sink, "location", file.c_str(), "sync", FALSE, nullptr);
        return gst_element_link_many(added, muxer, sink, nullptr) ? added : nullptr;
    }
};

// The test camera's picture as a recording gives it: square pixels at 30 a second.
CapsPtr trialPictureCaps(PictureSize size)
{
    return CapsPtr(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, size.width, "height", G_TYPE_INT, size.height,
                                       "framerate", GST_TYPE_FRACTION, kPicturesPerSecond, 1, "pixel-aspect-ratio",
                                       GST_TYPE_FRACTION, 1, 1, nullptr));
}

// Runs the graph until it ends, fails or `limit` passes; `cpuAtEnd` is the process's
// processor time then.
enum class Ending { Ended, Failed, TimedOut };
Ending run(GstElement* pipeline, Clock::duration limit, double* cpuAtEnd = nullptr)
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        return Ending::Failed;
    }
    GstHandle<GstBus> bus(gst_element_get_bus(pipeline));
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
    GstMessage* message = gst_bus_timed_pop_filtered(bus.get(), GstClockTime(left),
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (cpuAtEnd)
        *cpuAtEnd = processCpuSeconds();
    const Ending ending = !message ? Ending::TimedOut
                          : GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS ? Ending::Ended
                                                                         : Ending::Failed;
    if (message)
        gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return ending;
}

// A file for the trial's AVI, removed with it.
struct TrialFile {
    std::string path;
    TrialFile()
    {
        std::string name = std::string(g_get_tmp_dir()) + "/orvex-encoder-trial-XXXXXX";
        const int descriptor = ::mkstemp(name.data());
        if (descriptor >= 0) {
            ::close(descriptor);
            path = name;
        }
    }
    ~TrialFile()
    {
        if (!path.empty())
            ::unlink(path.c_str());
    }
    TrialFile(const TrialFile&) = delete;
    TrialFile& operator=(const TrialFile&) = delete;
};

// Whether GStreamer's own demuxer reads the file back to its end, in a stream it knows: avimux
// writes JPEG 2000 under a code that avidemux does not read, and a file nobody here can play
// is no recording.
bool readsBack(const std::string& file)
{
    Graph graph;
    GstElement* source = graph.add(makeElement("filesrc"));
    g_object_set(source, "location", file.c_str(), nullptr);
    GstElement* demuxer = graph.add(makeElement("avidemux"));
    GstElement* sink = graph.add(makeElement("fakesink"));
    g_object_set(sink, "sync", FALSE, nullptr);
    if (!gst_element_link(source, demuxer))
        return false;
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer sink) {
                         CapsPtr caps(gst_pad_get_current_caps(pad));
                         if (!caps)
                             caps = CapsPtr(gst_pad_query_caps(pad, nullptr));
                         if (!caps || gst_caps_get_size(caps.get()) == 0 ||
                             g_str_has_suffix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "x-avi-unknown"))
                             return;  // left unlinked: the demuxer fails
                         PadPtr input(gst_element_get_static_pad(static_cast<GstElement*>(sink), "sink"));
                         gst_pad_link(pad, input.get());
                     }),
                     sink);
    return run(graph.pipeline.get(), kReadBackLimit) == Ending::Ended;
}

// The cost is taken from the encoder's first picture to its last, so that setting itself up
// (x264: a third of a second) does not count against it.
EncoderTrial tryPictures(const std::string& factory, ElementPtr made)
{
    FirstOutput first;
    TrialFile file;
    Graph graph;
    GstElement* source = graph.add(makeElement("videotestsrc"));
    g_object_set(source, "num-buffers", kTrialPictures, nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "pattern", "ball");
    // 1280x720, or the first size of an encoder that takes only some: such an encoder gets its
    // own rate and pixel shape there (DV's) as in a recording.
    const std::vector<PictureSize> sizes = sizesTakenBy(factory);
    GstElement* shape = graph.add(makeElement("capsfilter"));
    g_object_set(shape, "caps", trialPictureCaps(sizes.empty() ? PictureSize{1280, 720} : sizes.front()).get(), nullptr);
    GstElement* convert = graph.add(makeElement("videoconvert"));
    GstElement* last = convert;
    if (!sizes.empty()) {
        GstElement* rate = graph.add(makeElement("videorate"));
        GstElement* scale = graph.add(makeElement("videoscale"));
        GstElement* size = graph.add(makeElement("capsfilter"));
        g_object_set(size, "caps", pictureSizeCaps(sizes.front()).get(), nullptr);
        if (!gst_element_link_many(convert, rate, scale, size, nullptr))
            return {false, "it does not take the test picture"};
        last = size;
    }
    // The pictures are drawn beside the encoder, as a camera's come from a thread of their own.
    GstElement* queue = graph.add(makeElement("queue"));
    GstElement* encoder = graph.encoderIntoFile(std::move(made), file.path);
    if (!encoder || !gst_element_link_many(source, shape, convert, nullptr)
        || !gst_element_link_many(last, queue, encoder, nullptr))
        return {false, "it does not take the test picture"};

    PadPtr encoded(gst_element_get_static_pad(encoder, "src"));
    addProbeOn<FirstOutput>(
        encoded.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, FirstOutput& output) {
            double none = -1;
            output.cpu.compare_exchange_strong(none, processCpuSeconds());
            return GST_PAD_PROBE_OK;
        },
        first);

    const std::string tooDear = "it needs more than one processor to encode 30 pictures a second";
    double cpuAtEnd = 0;
    switch (run(graph.pipeline.get(), kSetUpLimit + kPaceLimit, &cpuAtEnd)) {
    case Ending::Ended:
        break;
    case Ending::Failed:
        return {false, "it did not encode the test picture"};
    case Ending::TimedOut:
        return {false, tooDear};
    }
    if (!readsBack(file.path))
        return {false, "GStreamer cannot read back the file it makes"};
    if (first.cpu.load() < 0)
        return {true, {}};  // nothing came before the end: nothing to say of the cost
    const double seconds = double(kTrialPictures - 1) / kPicturesPerSecond;
    const double perSecond = (cpuAtEnd - first.cpu.load()) / seconds;
    if (perSecond > kMostCpuPerSecond)
        return {false, tooDear + " (" + std::to_string(int(perSecond * 100)) + "% of one)"};
    return {true, {}};
}

EncoderTrial trySound(ElementPtr made)
{
    TrialFile file;
    Graph graph;
    GstElement* source = graph.add(makeElement("audiotestsrc"));
    g_object_set(source, "num-buffers", 50, "samplesperbuffer", 960, nullptr);
    GstElement* shape = graph.add(makeElement("capsfilter"));
    const CapsPtr tone(gst_caps_from_string("audio/x-raw, format=S16LE, rate=48000, channels=2"));
    g_object_set(shape, "caps", tone.get(), nullptr);
    GstElement* convert = graph.add(makeElement("audioconvert"));
    GstElement* resample = graph.add(makeElement("audioresample"));
    GstElement* encoder = graph.encoderIntoFile(std::move(made), file.path);
    if (!encoder || !gst_element_link_many(source, shape, convert, resample, encoder, nullptr))
        return {false, "it does not take the test tone"};
    if (run(graph.pipeline.get(), kSoundLimit) != Ending::Ended)
        return {false, "it did not encode the test tone"};
    if (!readsBack(file.path))
        return {false, "GStreamer cannot read back the file it makes"};
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
