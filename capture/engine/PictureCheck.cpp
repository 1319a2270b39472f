#include "PictureCheck.h"

#include "EngineLog.h"
#include "RunState.h"

#include "capture/gst/GstHandle.h"
#include "capture/gst/PadProbe.h"

#include <glib.h>

namespace capture {

namespace {

// Frames arriving, none of them usable, for this long: the device is failing, not hiccupping.
constexpr std::int64_t kUsableWithinUs = 5 * G_USEC_PER_SEC;

constexpr std::uint8_t kMarker = 0xff;
constexpr std::uint8_t kStartOfImage = 0xd8;
constexpr std::uint8_t kEndOfImage = 0xd9;
constexpr std::uint8_t kStartOfScan = 0xda;

bool frameHeader(std::uint8_t code)
{
    // SOF0 to SOF15, less DHT (c4), JPG (c8) and DAC (cc), which share the range.
    return code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;
}

void noteUsable(RunState& run)
{
    run.lastPictureUs = g_get_monotonic_time();
    run.lastPictureWallUs = g_get_real_time();
    run.brokenSinceUs = -1;
}

void noteBroken(RunState& run, const char* why)
{
    const std::int64_t broken = ++run.framesBroken;
    if (broken == 1 || broken % 30 == 0)
        qCInfo(lcEngine, "run %d: skipped a broken frame (%s), %lld so far", run.number, why, static_cast<long long>(broken));
    const std::int64_t now = g_get_monotonic_time();
    std::int64_t since = -1;
    if (!run.brokenSinceUs.compare_exchange_strong(since, now) && now - since >= kUsableWithinUs) {
        run.fail(nothingDecodable(run.videoDevice, int(kUsableWithinUs / G_USEC_PER_SEC)));
    }
}

bool wholeBuffer(GstBuffer* buffer)
{
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    const bool whole = wholeJpeg(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    return whole;
}

struct SourceCheck {
    RunState* run;
    bool jpeg;
    bool decodedLater;
};

GstPadProbeReturn checkSourceFrame(GstPad*, GstPadProbeInfo* info, SourceCheck& check)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    // The driver's own word that the frame is damaged (V4L2_BUF_FLAG_ERROR: a lost USB packet,
    // a capture card's sync error).
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_CORRUPTED)) {
        noteBroken(*check.run, "flagged by the driver");
        return GST_PAD_PROBE_DROP;
    }
    if (check.jpeg && !wholeBuffer(buffer)) {
        noteBroken(*check.run, "not a whole JPEG picture");
        return GST_PAD_PROBE_DROP;
    }
    if (!check.decodedLater)
        noteUsable(*check.run);
    return GST_PAD_PROBE_OK;
}

// The decoder works on its input's thread and gives a frame out before it returns, or never.
struct DecoderWatch {
    RunState& run;
    bool pending = false;  // the decoder's streaming thread only
};

GstPadProbeReturn decoderTakes(GstPad*, GstPadProbeInfo*, std::shared_ptr<DecoderWatch>& watch)
{
    if (watch->pending)
        noteBroken(watch->run, "the decoder could not read it");
    watch->pending = true;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn decoderGives(GstPad*, GstPadProbeInfo*, std::shared_ptr<DecoderWatch>& watch)
{
    watch->pending = false;
    noteUsable(watch->run);
    return GST_PAD_PROBE_OK;
}

}  // namespace

PipelineFailure nothingDecodable(const std::string& device, int seconds)
{
    return PipelineFailure::at(PipelineFailure::Part::VideoSource,
                               "for " + std::to_string(seconds) + " seconds it has sent nothing that could be decoded")
        .from(device);
}

bool wholeJpeg(const std::uint8_t* data, std::size_t size)
{
    if (size < 4 || data[0] != kMarker || data[1] != kStartOfImage)
        return false;
    std::size_t end = size;
    while (end > 2 && data[end - 1] == 0)
        --end;
    if (data[end - 2] != kMarker || data[end - 1] != kEndOfImage)
        return false;
    // The header segments, each a marker and a length that counts itself, up to the scan.
    bool sawFrameHeader = false;
    std::size_t at = 2;
    while (at + 4 <= end) {
        if (data[at] != kMarker)
            return false;
        const std::uint8_t code = data[at + 1];
        if (code == kMarker) {  // fill bytes before a marker
            ++at;
            continue;
        }
        const std::size_t length = std::size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || at + 2 + length > end - 2)
            return false;
        if (code == kStartOfScan)
            return sawFrameHeader;
        sawFrameHeader = sawFrameHeader || frameHeader(code);
        at += 2 + length;
    }
    return false;
}

void checkPictures(GstPad* sourcePad, RunState& run, bool jpeg, bool decodedLater)
{
    addProbe(sourcePad, GST_PAD_PROBE_TYPE_BUFFER, checkSourceFrame, SourceCheck{&run, jpeg, decodedLater});
}

void countDecoderDrops(GstElement* decoder, RunState& run)
{
    const PadPtr input(gst_element_get_static_pad(decoder, "sink"));
    const PadPtr output(gst_element_get_static_pad(decoder, "src"));
    if (!input || !output)
        return;
    const auto watch = std::make_shared<DecoderWatch>(run);
    addProbe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, decoderTakes, watch);
    addProbe(output.get(), GST_PAD_PROBE_TYPE_BUFFER, decoderGives, watch);
}

}  // namespace capture
