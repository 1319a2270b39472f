#include "EncoderCatalogue.h"

#include "EncoderTrial.h"

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

// What the trials say of the encoder: from the cache, else tried now and kept there.
EncoderTrial trialOf(GstElementFactory* factory, EncoderMedia media, EncoderTrialCache& cache, bool& tried)
{
    const std::string key = trialKey(factory);
    if (auto known = cache.find(key))
        return *known;
    EncoderTrial trial = tryEncoder(GST_OBJECT_NAME(factory), media);
    cache.remember(key, trial);
    tried = true;
    return trial;
}

std::vector<EncoderInfo> encodersFor(GList* encoders, GstCaps* accepted, std::initializer_list<const char*> klass,
                                     EncoderMedia media, EncoderTrialCache& cache, bool& tried,
                                     std::vector<EncoderLeftOut>& leftOut)
{
    std::vector<EncoderInfo> found;
    if (!accepted)
        return found;
    for (GList* node = encoders; node; node = node->next) {
        auto* factory = GST_ELEMENT_FACTORY(node->data);
        if (!klassHas(factory, klass) || !gst_element_factory_can_src_any_caps(factory, accepted))
            continue;
        const std::string name = GST_OBJECT_NAME(factory);
        if (const EncoderTrial trial = trialOf(factory, media, cache, tried); !trial.offered) {
            leftOut.push_back({name, trial.reason});
            continue;
        }
        const char* longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
        EncoderInfo encoder{name, readableName(longName, name.c_str()),
                            media == EncoderMedia::Video ? sizesTakenBy(name) : std::vector<PictureSize>{}};
        // The list says which sizes such an encoder takes, so nobody has to find out by failing.
        if (!encoder.sizes.empty())
            encoder.longName += ", " + sizesText(encoder.sizes) + " only";
        found.push_back(std::move(encoder));
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

EncoderCatalogue EncoderCatalogue::fromRegistry(EncoderTrialCache cache)
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
    bool tried = false;
    catalogue.video = encodersFor(encoders.get(), videoCaps.get(), {"Video", "Image"}, EncoderMedia::Video, cache,
                                  tried, catalogue.leftOut);
    catalogue.audio = encodersFor(encoders.get(), audioCaps.get(), {"Audio"}, EncoderMedia::Audio, cache, tried,
                                  catalogue.leftOut);
    if (tried)
        cache.save();  // not kept (a read-only home): tried again next time, nothing worse
    return catalogue;
}

}  // namespace capture
