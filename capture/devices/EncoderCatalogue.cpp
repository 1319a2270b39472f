#include "EncoderCatalogue.h"

#include "capture/gst/GstHandle.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

namespace capture {

namespace {

struct FeatureListFree {
    void operator()(GList* list) const { gst_plugin_feature_list_free(list); }
};
using FeatureList = std::unique_ptr<GList, FeatureListFree>;

// The caps the muxer's request pads of one kind ("video_%u", "audio_%u") accept.
CapsPtr muxerSinkCaps(GstElementFactory* muxer, const char* padTemplate)
{
    for (const GList* node = gst_element_factory_get_static_pad_templates(muxer); node;
         node = node->next) {
        auto* pad = static_cast<GstStaticPadTemplate*>(node->data);
        if (pad->direction == GST_PAD_SINK && std::strcmp(pad->name_template, padTemplate) == 0)
            return CapsPtr(gst_static_pad_template_get_caps(pad));
    }
    return {};
}

bool klassHas(GstElementFactory* factory, std::initializer_list<const char*> media)
{
    const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (!klass)
        return false;
    return std::any_of(media.begin(), media.end(),
                       [klass](const char* word) { return std::strstr(klass, word) != nullptr; });
}

// A long name as a person would write it: libav's wrappers add "encoder" to a codec name that
// may end in it already ("... video encoder encoder").
std::string readableName(const char* longName, const char* factory)
{
    std::istringstream words(longName ? longName : factory);
    std::string name, word, previous;
    while (words >> word) {
        if (word == previous)
            continue;
        name += (name.empty() ? "" : " ") + word;
        previous = word;
    }
    return name.empty() ? factory : name;
}

std::vector<EncoderInfo> encodersFor(GList* encoders, GstCaps* accepted,
                                     std::initializer_list<const char*> media)
{
    std::vector<EncoderInfo> found;
    if (!accepted)
        return found;
    for (GList* node = encoders; node; node = node->next) {
        auto* factory = GST_ELEMENT_FACTORY(node->data);
        if (!klassHas(factory, media) || !gst_element_factory_can_src_any_caps(factory, accepted))
            continue;
        const char* longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
        found.push_back({GST_OBJECT_NAME(factory), readableName(longName, GST_OBJECT_NAME(factory))});
    }
    // The registry's order depends on plugin loading; sort so that an index means the same
    // encoder from one run to the next.
    std::sort(found.begin(), found.end(), [](const EncoderInfo& a, const EncoderInfo& b) {
        return a.longName != b.longName ? a.longName < b.longName : a.factory < b.factory;
    });
    // The windows choose by name, so an encoder whose long name another already has is told
    // apart by its factory name.
    std::string previous;
    for (EncoderInfo& encoder : found) {
        const std::string original = encoder.longName;
        if (original == previous)
            encoder.longName += " (" + encoder.factory + ")";
        previous = original;
    }
    return found;
}

}  // namespace

EncoderCatalogue EncoderCatalogue::fromRegistry()
{
    gst_init(nullptr, nullptr);
    EncoderCatalogue catalogue;
    GstHandle<GstElementFactory> muxer(gst_element_factory_find("avimux"));
    if (!muxer)
        return catalogue;

    FeatureList encoders(gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_ENCODER,
                                                               GST_RANK_NONE));
    CapsPtr videoCaps = muxerSinkCaps(muxer.get(), "video_%u");
    CapsPtr audioCaps = muxerSinkCaps(muxer.get(), "audio_%u");
    catalogue.video = encodersFor(encoders.get(), videoCaps.get(), {"Video", "Image"});
    catalogue.audio = encodersFor(encoders.get(), audioCaps.get(), {"Audio"});
    return catalogue;
}

}  // namespace capture
