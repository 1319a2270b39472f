#include "AviReadBack.h"

#include "capture/gst/GstHandle.h"

#include <gst/app/gstappsink.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>

#include <cstdint>
#include <cstring>
#include <fstream>

namespace capture::testing {

namespace {

struct Counts {
    bool digest = false;
    std::vector<std::string> digests;
    int videoFrames = 0;
    GstClockTime videoEnd = 0;
    GstClockTime audioEnd = 0;
    std::vector<std::int16_t> sound;
    int soundRate = 0;
};

struct Branch {
    Counts* counts;
    bool video;
    int pcmChannels = 0;  // of 16-bit little-endian PCM; 0 for anything else
};

void keepFirstChannel(Branch& branch, GstBuffer* buffer)
{
    std::vector<std::int16_t> samples(gst_buffer_get_size(buffer) / 2);
    gst_buffer_extract(buffer, 0, samples.data(), samples.size() * 2);
    for (size_t i = 0; i < samples.size(); i += static_cast<size_t>(branch.pcmChannels))
        branch.counts->sound.push_back(samples[i]);
}

void onHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data)
{
    auto* branch = static_cast<Branch*>(data);
    GstClockTime end = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : GST_BUFFER_DTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        end += GST_BUFFER_DURATION(buffer);
    if (branch->video) {
        ++branch->counts->videoFrames;
        if (branch->counts->digest) {
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                gchar* digest = g_compute_checksum_for_data(G_CHECKSUM_SHA1, map.data, map.size);
                branch->counts->digests.emplace_back(digest);
                g_free(digest);
                gst_buffer_unmap(buffer, &map);
            }
        }
        branch->counts->videoEnd = std::max(branch->counts->videoEnd, end);
    } else {
        branch->counts->audioEnd = std::max(branch->counts->audioEnd, end);
        if (branch->pcmChannels > 0)
            keepFirstChannel(*branch, buffer);
    }
}

void onPadAdded(GstElement* demuxer, GstPad* pad, gpointer data)
{
    auto* counts = static_cast<Counts*>(data);
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(demuxer));
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "signal-handoffs", TRUE, nullptr);
    const bool video = g_str_has_prefix(GST_PAD_NAME(pad), "video");
    auto* branch = new Branch{counts, video};
    CapsPtr caps(gst_pad_get_current_caps(pad));
    const GstStructure* format = caps ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    if (!video && format && gst_structure_has_name(format, "audio/x-raw")
        && g_strcmp0(gst_structure_get_string(format, "format"), "S16LE") == 0) {
        gst_structure_get_int(format, "channels", &branch->pcmChannels);
        gst_structure_get_int(format, "rate", &counts->soundRate);
    }
    g_signal_connect_data(sink, "handoff", G_CALLBACK(onHandoff), branch,
                          [](gpointer branch, GClosure*) { delete static_cast<Branch*>(branch); }, GConnectFlags(0));
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    PadPtr sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
    gst_object_unref(pipeline);
}

Counts demuxAll(const std::string& path, bool digest, bool& ok)
{
    Counts counts;
    counts.digest = digest;
    ElementPtr pipeline(gst_pipeline_new(nullptr));
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    g_object_set(source, "location", path.c_str(), nullptr);
    GstElement* demuxer = gst_element_factory_make("avidemux", nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, demuxer, nullptr);
    gst_element_link(source, demuxer);
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(onPadAdded), &counts);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    BusPtr bus(gst_element_get_bus(pipeline.get()));
    MessagePtr message(gst_bus_timed_pop_filtered(bus.get(), 300 * GST_SECOND,
                                                  GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    ok = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return counts;
}

std::uint32_t le32(const char* bytes)
{
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

bool indexed(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char header[12];
    if (!file.read(header, 12) || std::memcmp(header, "RIFF", 4) != 0)
        return false;
    bool flagged = false, found = false;
    char chunk[8];
    while (file.read(chunk, 8)) {
        const std::uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "idx1", 4) == 0) {
            found = true;
        } else if (std::memcmp(chunk, "LIST", 4) == 0) {
            char type[4];
            file.read(type, 4);
            if (std::memcmp(type, "hdrl", 4) == 0) {
                char avih[8 + 16];
                file.read(avih, sizeof avih);
                flagged = (le32(avih + 8 + 12) & 0x10) != 0;  // AVIF_HASINDEX
                file.seekg(-static_cast<std::streamoff>(sizeof avih), std::ios::cur);
            }
            file.seekg(static_cast<std::streamoff>(size) - 4 + (size & 1), std::ios::cur);
            continue;
        }
        file.seekg(static_cast<std::streamoff>(size) + (size & 1), std::ios::cur);
    }
    return flagged && found;
}

// Walks the header's lists down to the first "vprp" chunk; the header is in the file's first 64 KB.
AviReadBack::VideoProperties videoProperties(const std::string& path)
{
    AviReadBack::VideoProperties properties;
    std::ifstream file(path, std::ios::binary);
    std::vector<char> head(64 * 1024);
    file.read(head.data(), std::streamsize(head.size()));
    const std::size_t size = std::size_t(file.gcount());
    if (size < 12 || std::memcmp(head.data(), "RIFF", 4) != 0)
        return properties;
    for (std::size_t at = 12; at + 8 <= size;) {
        const std::uint32_t chunk = le32(&head[at + 4]);
        if (std::memcmp(&head[at], "LIST", 4) == 0) {
            at += 12;  // into the list
            continue;
        }
        if (std::memcmp(&head[at], "vprp", 4) == 0 && at + 8 + 36 <= size) {
            const char* vprp = &head[at + 8];
            const std::uint32_t aspect = le32(vprp + 20);
            properties.present = true;
            properties.aspectNumerator = int(aspect >> 16);
            properties.aspectDenominator = int(aspect & 0xffff);
            properties.width = int(le32(vprp + 24));
            properties.height = int(le32(vprp + 28));
            const std::uint32_t count = le32(vprp + 32);
            for (std::uint32_t field = 0; field < count && 36 + 32 * (field + 1) <= chunk && at + 8 + 36 + 32 * (field + 1) <= size; ++field) {
                const char* description = vprp + 36 + 32 * field;
                properties.fields.push_back({int(le32(description)), int(le32(description + 28))});
            }
            return properties;
        }
        at += 8 + chunk + (chunk & 1);
    }
    return properties;
}

}  // namespace

AviReadBack readBack(const std::string& path, bool digestVideoFrames)
{
    AviReadBack result;
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    GstDiscoverer* discoverer = gst_discoverer_new(180 * GST_SECOND, nullptr);
    GstDiscovererInfo* info = discoverer ? gst_discoverer_discover_uri(discoverer, uri, nullptr) : nullptr;
    g_free(uri);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        result.duration = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
        GList* streams = gst_discoverer_info_get_stream_list(info);
        for (GList* item = streams; item; item = item->next) {
            auto* stream = static_cast<GstDiscovererStreamInfo*>(item->data);
            if (GST_IS_DISCOVERER_CONTAINER_INFO(stream))
                continue;
            CapsPtr caps(gst_discoverer_stream_info_get_caps(stream));
            if (caps && gst_caps_get_size(caps.get()) > 0)
                result.codecs.emplace_back(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)));
            if (GST_IS_DISCOVERER_VIDEO_INFO(stream)) {
                result.width = int(gst_discoverer_video_info_get_width(GST_DISCOVERER_VIDEO_INFO(stream)));
                result.height = int(gst_discoverer_video_info_get_height(GST_DISCOVERER_VIDEO_INFO(stream)));
            }
        }
        gst_discoverer_stream_info_list_free(streams);
    }
    if (info)
        g_object_unref(info);
    if (discoverer)
        g_object_unref(discoverer);

    bool ok = false;
    Counts counts = demuxAll(path, digestVideoFrames, ok);
    result.readable = ok && !result.codecs.empty();
    result.videoFrames = counts.videoFrames;
    result.videoEnd = static_cast<double>(counts.videoEnd) / GST_SECOND;
    result.audioEnd = static_cast<double>(counts.audioEnd) / GST_SECOND;
    result.hasIndex = indexed(path);
    result.videoFrameDigests = std::move(counts.digests);
    result.sound = counts.sound;
    result.soundRate = counts.soundRate;
    result.videoProperties = videoProperties(path);
    return result;
}

QImage recordedFrame(const std::string& path, int index)
{
    GError* error = nullptr;
    const std::string graph = "filesrc location=\"" + path
                              + "\" ! avidemux ! decodebin ! videoconvert ! video/x-raw,format=BGRx ! appsink name=sink sync=false";
    ElementPtr pipeline(gst_parse_launch(graph.c_str(), &error));
    if (error) {
        g_error_free(error);
        return {};
    }
    ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    QImage image;
    for (int frame = 0; frame <= index; ++frame) {
        SamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 5 * GST_SECOND));
        if (!sample)
            break;
        if (frame < index)
            continue;
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()));
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        image = QImage(map.data, info.width, info.height, int(info.stride[0]), QImage::Format_RGB32).copy();
        gst_buffer_unmap(buffer, &map);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return image;
}

}  // namespace capture::testing
