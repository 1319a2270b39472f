#include "LiveEncoder.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace capture {
namespace {

using Settings = std::vector<std::pair<const char*, const char*>>;

// Measured on a 2-core machine, 150 frames of a moving 1280x720 picture (docs/performance.md
// has the current figures): GStreamer's defaults leave x264 at 1.3 cores and 8 s before its
// first output, VP8 25 frames behind, the libav coders on one thread at a fixed bit rate.
Settings liveSettingsOf(std::string_view factory)
{
    // x264: a fast preset; no look-ahead and no B-frames (AVI stores frames in the order they
    // come, so it could not order them anyway); constant quality.
    if (factory == "x264enc")
        return {{"speed-preset", "superfast"}, {"tune", "zerolatency"}, {"bframes", "0"},
                {"pass", "qual"},              {"quantizer", "23"},     {"key-int-max", "60"}};
    // VP8: the real-time deadline, its fastest real-time effort, no frames held back, constant
    // quality up to a generous rate.
    if (factory == "vp8enc")
        return {{"deadline", "1"},    {"cpu-used", "8"},    {"lag-in-frames", "0"}, {"threads", "2"},
                {"end-usage", "cq"}, {"cq-level", "10"}, {"target-bitrate", "8000000"}};
    if (factory == "openh264enc")
        return {{"usage-type", "camera"}, {"complexity", "low"}, {"rate-control", "quality"}, {"multi-thread", "2"}};
    if (factory == "openjpegenc")
        return {{"num-threads", "2"}};
    // libav's coders: every core, and a constant quantizer (2 is best, 31 worst) where they
    // code at a bit rate.
    if (factory.starts_with("avenc_")) {
        Settings settings{{"threads", "auto"}};
        if (factory == "avenc_mpeg4" || factory == "avenc_msmpeg4" || factory == "avenc_msmpeg4v2" ||
            factory == "avenc_mpeg1video" || factory == "avenc_mpeg2video" || factory == "avenc_h263" ||
            factory == "avenc_h263p" || factory == "avenc_wmv1" || factory == "avenc_wmv2" || factory == "avenc_mjpeg")
            settings.insert(settings.end(), {{"pass", "quant"}, {"quantizer", "4"}});
        return settings;
    }
    return {};
}

}  // namespace

ElementPtr makeLiveEncoder(const std::string& factory)
{
    gst_init(nullptr, nullptr);
    ElementPtr encoder(gst_element_factory_make(factory.c_str(), nullptr));
    if (!encoder)
        return encoder;
    GObjectClass* kind = G_OBJECT_GET_CLASS(encoder.get());
    for (const auto& [property, value] : liveSettingsOf(factory))
        if (g_object_class_find_property(kind, property))
            gst_util_set_object_arg(G_OBJECT(encoder.get()), property, value);
    return encoder;
}

namespace {

CapsPtr padTemplateCaps(GstElementFactory* factory, GstPadDirection direction, const char* name = nullptr)
{
    CapsPtr all(gst_caps_new_empty());
    for (const GList* node = gst_element_factory_get_static_pad_templates(factory); node; node = node->next) {
        auto* pad = static_cast<GstStaticPadTemplate*>(node->data);
        if (pad->direction == direction && (!name || std::strcmp(pad->name_template, name) == 0))
            all = CapsPtr(gst_caps_merge(all.release(), gst_static_pad_template_get_caps(pad)));
    }
    return all;
}

// Whether the AVI muxer takes what the encoder makes of pictures of this size (DV goes into AVI
// at its standard-definition sizes only).
bool aviKeeps(GstElementFactory* encoder, PictureSize size)
{
    GstHandle<GstElementFactory> muxer(gst_element_factory_find("avimux"));
    if (!muxer)
        return true;
    CapsPtr made(gst_caps_make_writable(padTemplateCaps(encoder, GST_PAD_SRC).release()));
    gst_caps_set_simple(made.get(), "width", G_TYPE_INT, size.width, "height", G_TYPE_INT, size.height, nullptr);
    const CapsPtr kept(padTemplateCaps(muxer.get(), GST_PAD_SINK, "video_%u"));
    return gst_caps_can_intersect(made.get(), kept.get());
}

}  // namespace

std::vector<PictureSize> sizesTakenBy(const std::string& factory)
{
    gst_init(nullptr, nullptr);
    GstHandle<GstElementFactory> found(gst_element_factory_find(factory.c_str()));
    if (!found)
        return {};
    const CapsPtr caps(padTemplateCaps(found.get(), GST_PAD_SINK));
    if (gst_caps_is_any(caps.get()) || gst_caps_is_empty(caps.get()))
        return {};
    std::vector<PictureSize> sizes;
    for (guint index = 0; index < gst_caps_get_size(caps.get()); ++index) {
        const GstStructure* format = gst_caps_get_structure(caps.get(), index);
        PictureSize size;
        if (!gst_structure_get_int(format, "width", &size.width) || !gst_structure_get_int(format, "height", &size.height))
            return {};  // a range, or no size at all: any size
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end() && aviKeeps(found.get(), size))
            sizes.push_back(size);
    }
    return sizes;
}

CapsPtr pictureSizeCaps(PictureSize size)
{
    return CapsPtr(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, size.width, "height", G_TYPE_INT,
                                       size.height, nullptr));
}

std::string sizesText(const std::vector<PictureSize>& sizes)
{
    std::string text;
    for (const PictureSize& size : sizes)
        text += (text.empty() ? "" : ", ") + std::to_string(size.width) + "x" + std::to_string(size.height);
    return text;
}

}  // namespace capture
