#include "TestDevices.h"

#include "capture/contract/CaptureError.h"

namespace capture::testing {

namespace {

GstElement* addTo(GstElement* bin, const char* factory)
{
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (!element)
        throw CaptureError(std::string("missing element ") + factory);
    gst_bin_add(GST_BIN(bin), element);
    return element;
}

GstPadProbeReturn spoilJpeg(GstPad*, GstPadProbeInfo* info, gpointer)
{
    GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    // Start and end markers stay, so the frame is found; between them there is no picture.
    const gsize size = gst_buffer_get_size(buffer);
    if (size > 4)
        gst_buffer_memset(buffer, 2, 0xFF, size - 4);
    return GST_PAD_PROBE_OK;
}

ElementPtr ghosted(ElementPtr bin, GstElement* last)
{
    PadPtr pad(gst_element_get_static_pad(last, "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", pad.get()));
    return bin;
}

}  // namespace

PatternCamera::PatternCamera(std::vector<VideoFormat> formats, Behaviour behaviour, int frames)
    : m_formats(std::move(formats)), m_behaviour(behaviour), m_frames(frames)
{
}

ElementPtr PatternCamera::createSource(int, const VideoFormat& format)
{
    ElementPtr bin(gst_bin_new(nullptr));
    GstElement* source = addTo(bin.get(), "videotestsrc");
    g_object_set(source, "is-live", TRUE, "pattern", 2 /* black: cheapest to fill */, nullptr);
    if (m_behaviour == Behaviour::EndsAfter)
        g_object_set(source, "num-buffers", m_frames, nullptr);
    const bool jpeg = format.pixelFormat == "MJPG" || m_behaviour == Behaviour::WrongFormat;
    CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, jpeg ? "I420" : format.pixelFormat.c_str(),
                                        "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height,
                                        "framerate", GST_TYPE_FRACTION, format.fpsNumerator, format.fpsDenominator, nullptr));
    GstElement* filter = addTo(bin.get(), "capsfilter");
    g_object_set(filter, "caps", caps.get(), nullptr);
    gst_element_link(source, filter);
    GstElement* last = filter;
    if (jpeg) {
        GstElement* encoder = addTo(bin.get(), "jpegenc");
        gst_element_link(last, encoder);
        last = encoder;
        if (m_behaviour == Behaviour::CorruptJpeg) {
            PadPtr out(gst_element_get_static_pad(encoder, "src"));
            gst_pad_add_probe(out.get(), GST_PAD_PROBE_TYPE_BUFFER, spoilJpeg, nullptr, nullptr);
        }
    }
    if (m_behaviour == Behaviour::FailsAfter) {
        GstElement* breaker = addTo(bin.get(), "identity");
        g_object_set(breaker, "error-after", m_frames, nullptr);
        gst_element_link(last, breaker);
        last = breaker;
    }
    return ghosted(std::move(bin), last);
}

ElementPtr ToneMicrophone::createSource()
{
    return m_fails ? failingSource() : toneSource();
}

ElementPtr ToneMicrophone::failingSource()
{
    ElementPtr bin(gst_bin_new(nullptr));
    GstElement* source = addTo(bin.get(), "audiotestsrc");
    g_object_set(source, "is-live", TRUE, nullptr);
    GstElement* breaker = addTo(bin.get(), "identity");
    g_object_set(breaker, "error-after", 1, nullptr);
    gst_element_link(source, breaker);
    return ghosted(std::move(bin), breaker);
}

ElementPtr ToneMicrophone::toneSource()
{
    ElementPtr bin(gst_bin_new(nullptr));
    GstElement* source = addTo(bin.get(), "audiotestsrc");
    g_object_set(source, "is-live", TRUE, "freq", 440.0, nullptr);
    CapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT, 44100,
                                        "channels", G_TYPE_INT, 2, "layout", G_TYPE_STRING, "interleaved", nullptr));
    GstElement* filter = addTo(bin.get(), "capsfilter");
    g_object_set(filter, "caps", caps.get(), nullptr);
    gst_element_link(source, filter);
    return ghosted(std::move(bin), filter);
}

ElementPtr LossyMicrophone::createSource()
{
    ElementPtr bin(gst_bin_new(nullptr));
    GstElement* source = addTo(bin.get(), "audiotestsrc");
    g_object_set(source, "is-live", TRUE, "freq", 440.0, nullptr);
    // The last five of every twenty 1024-sample buffers go missing in the first two seconds.
    GstPad* pad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer) {
            const guint64 offset = GST_BUFFER_OFFSET(GST_PAD_PROBE_INFO_BUFFER(info));
            return offset < 2 * 44100 && (offset / 1024) % 20 >= 15 ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
        },
        nullptr, nullptr);
    gst_object_unref(pad);
    return ghosted(std::move(bin), source);
}

ElementPtr CardMicrophone::createSource()
{
    ElementPtr bin(gst_bin_new(nullptr));
    GstElement* source = addTo(bin.get(), "audiotestsrc");
    g_object_set(source, "is-live", TRUE, nullptr);
    GstElement* ring = addTo(bin.get(), "queue");
    g_object_set(ring, "leaky", 2, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", GST_SECOND / 10, nullptr);
    gst_element_link(source, ring);
    return ghosted(std::move(bin), ring);
}

VideoFormat smallFormat(const char* pixelFormat)
{
    return VideoFormat{pixelFormat, 320, 240, 30, 1};
}

CaptureRequest preview(const VirtualDevices& devices)
{
    CaptureRequest request;
    request.videoDevice = devices.camera.get();
    request.videoFormat = VideoFormat{"BGRx", 320, 240, 30, 1};
    request.audioDevice = devices.tone.get();
    return request;
}

CaptureRequest recording(const VirtualDevices& devices, const std::string& fileName)
{
    CaptureRequest request = preview(devices);
    request.toFile = true;
    request.fileName = fileName;
    return request;
}

}  // namespace capture::testing
