#include "GraphBuilder.h"

#include "DeinterlacerInput.h"
#include "FailureMessage.h"
#include "PreviewOutput.h"
#include "EncoderTimestamps.h"
#include "capture/devices/LiveEncoder.h"
#include "RecordingSink.h"
#include "RunningTime.h"
#include "capture/contract/CaptureError.h"
#include "capture/devices/EncoderProperties.h"
#include "capture/devices/GstElements.h"
#include "capture/gst/MediaTime.h"

#include <gst/video/gstvideodecoder.h>

#include <algorithm>
#include <set>

namespace capture {

namespace {

using Part = PipelineFailure::Part;

[[noreturn]] void refuse(Part part, std::string element, std::string text)
{
    throw GraphError(PipelineFailure::at(part, std::move(text)).from(std::move(element)));
}

// An encoder that takes only some sizes (DV) is refused another before anything starts: the
// graph would fail to negotiate only once it runs, saying less.
void checkPictureSize(const EncoderChoice& encoder, const VideoFormat& format)
{
    const std::vector<PictureSize> sizes = sizesTakenBy(encoder.factory);
    if (sizes.empty() || std::find(sizes.begin(), sizes.end(), PictureSize{format.width, format.height}) != sizes.end())
        return;
    refuse(Part::Encoder, encoder.factory,
           encoderSizesMessage(sizesText(sizes), sizesText({PictureSize{format.width, format.height}})));
}

bool templatesMeet(GstElement* element, GstPadDirection direction, GstCaps* other)
{
    for (const GList* item = gst_element_class_get_pad_template_list(GST_ELEMENT_GET_CLASS(element)); item; item = item->next) {
        auto* templ = static_cast<GstPadTemplate*>(item->data);
        if (GST_PAD_TEMPLATE_DIRECTION(templ) != direction)
            continue;
        CapsPtr caps(gst_pad_template_get_caps(templ));
        if (gst_caps_can_intersect(caps.get(), other))
            return true;
    }
    return false;
}

// Motion JPEG from the camera chosen to be stored as Motion JPEG: the camera's own frames go
// into the file as they come. Decoding and encoding them again would cost a core at 1080p and
// lose quality; the encoder's own settings do not apply to these frames.
bool keepsCameraJpeg(bool jpeg, const std::optional<EncoderChoice>& encoder)
{
    return jpeg && encoder && encoder->factory == "jpegenc";
}

// Whether an encoder gets interlaced pictures as the source sent them. Uncompressed and
// lossless recordings keep both fields whatever the coder makes of them (HuffYUV codes each
// field apart where the caps say interlaced), and these compressors code two fields a frame
// themselves, in the order the caps say: x264's interlaced mode, libav's MPEG-4 (interlaced
// DCT and motion) and DV. Any other compressor would code the combing of every moving edge, or
// refuses interlaced pictures outright (libav's Motion JPEG, MPEG-4 v2/v3, WMV, H.263+): it gets
// one deinterlaced picture a frame instead.
bool takesFields(const std::optional<EncoderChoice>& encoder)
{
    static const std::set<std::string, std::less<>> fieldsKept{
        "avenc_huffyuv", "avenc_ffvhuff", "avenc_ffv1", "avenc_ljpeg", "avenc_png", "pngenc", "openjpegenc",
        "x264enc",       "avenc_mpeg4",   "avenc_dvvideo"};
    return !encoder || fieldsKept.contains(encoder->factory);
}

// One whole picture a frame from two fields, at the frame rate, so the recording keeps its
// frames' count and times: made at the moment of the field taken first (the picture's own
// time; the other field gives only motion-free detail), by the same motion-adaptive method
// as the view. Progressive pictures pass through untouched.
GstElement* frameDeinterlacer(GstElement* deinterlace)
{
    gst_util_set_object_arg(G_OBJECT(deinterlace), "method", "greedyh");
    gst_util_set_object_arg(G_OBJECT(deinterlace), "fields", "top");
    PadPtr input(gst_element_get_static_pad(deinterlace, "sink"));
    copyInterlacedPicturesInto(input.get());
    followFieldTakenFirst(deinterlace);
    return deinterlace;
}

std::string parentFactory(GstPad* pad)
{
    GstElement* element = gst_pad_get_parent_element(pad);
    std::string name = element ? factoryName(element) : "element";
    if (element)
        gst_object_unref(element);
    return name;
}

bool writesMpegAudio(GstElement* encoder)
{
    CapsPtr mpeg(gst_caps_from_string("audio/mpeg, mpegversion=(int)1"));
    return templatesMeet(encoder, GST_PAD_SRC, mpeg.get());
}

// How many samples later than its input an encoder's sound begins once decoded. LAME's MP3
// holds 576 samples of its own before the first input sample, and an MP3 decoder adds 529 (its
// filter bank's delay); an AVI has no header where a player would learn to skip them. Measured
// on the test tone, the beep came 22 to 24 ms later in the decoded sound than in PCM at 48 kHz.
guint decodedSoundDelay(const EncoderChoice& encoder)
{
    return encoder.factory == "lamemp3enc" ? 576 + 529 : 0;
}

// A frame the decoder cannot read is skipped (and the preview's counted, see PictureCheck.h);
// the run fails only when a device sends nothing readable for a while, which the run watches
// by time, not by the decoder's count of errors, which would end a long run with a few
// damaged frames in it. (jpegdec's own "max-errors" property is a deprecated stub that hides
// the base class's.)
void neverFailOnErrors(GstElement* decoder)
{
    gst_video_decoder_set_max_errors(GST_VIDEO_DECODER(decoder), -1);
}

}  // namespace

GraphBuilder::GraphBuilder(GstBin* graph, Outputs outputs) : m_graph(graph), m_outputs(std::move(outputs)) {}

GraphLayout GraphBuilder::build(const CaptureRequest& request)
{
    const bool toFile = request.toFile && m_outputs.writer;
    const bool recordVideo = toFile && request.captureVideo && request.videoDevice;
    const bool recordAudio = toFile && request.captureAudio && request.audioDevice;
    const bool preview = request.videoDevice && (request.showPreview || !toFile);
    const bool playSound = preview && request.playSound && request.audioDevice;
    if (toFile && !recordVideo && !recordAudio)
        refuse(Part::File, m_outputs.fileName, "neither picture nor sound is to be recorded");
    if (!request.videoDevice && !toFile)
        throw CaptureError(noVideoDeviceMessage());

    if (toFile)
        recordingOutput();
    if (preview || recordVideo) {
        std::optional<VideoFormat> format = request.videoFormat;
        if (!format) {
            const std::vector<VideoFormat> formats = request.videoDevice->formats(request.videoInput);
            // A virtual camera has the formats of the program that feeds it, once one does.
            if (formats.empty() && request.videoDevice->isVirtualCamera())
                throw DeviceError({.kind = DeviceFailure::Kind::NotFed, .device = request.videoDevice->name()});
            if (formats.empty())
                throw CaptureError(noPictureFormatMessage(request.videoDevice->name()));
            format = formats.front();
        }
        if (recordVideo && request.videoEncoder)
            checkPictureSize(*request.videoEncoder, *format);
        video(request, *format, preview, recordVideo);
    }
    if (recordAudio || playSound)
        audio(request, recordAudio, playSound);
    if (recordAudio && request.audioEncoder)
        m_layout.soundLeadSamples = decodedSoundDelay(*request.audioEncoder);
    return std::move(m_layout);
}

GstElement* GraphBuilder::add(ElementPtr element, Part part, std::string label)
{
    gst_bin_add(m_graph, element.get());
    m_layout.parts.add(element.get(), part, std::move(label));
    return element.get();  // the graph holds it now
}

GstElement* GraphBuilder::make(const char* factory, Part part)
{
    return add(makeElement(factory), part);
}

GstElement* GraphBuilder::capsFilter(const char* description, Part part)
{
    GstElement* filter = make("capsfilter", part);
    CapsPtr caps(gst_caps_from_string(description));
    g_object_set(filter, "caps", caps.get(), nullptr);
    return filter;
}

void GraphBuilder::link(GstElement* from, GstElement* to, Part part)
{
    if (gst_element_link(from, to))
        return;
    PadPtr input(gst_element_get_static_pad(to, "sink"));
    if (input)
        blameSources(input.get());
    refuse(part, factoryName(to), factoryName(from) + " cannot feed " + factoryName(to));
}

// After the deinterlacer every picture is raw video that videoconvert takes and turns into
// what the view takes: these links need no caps query through the whole branch (about 1 ms of
// a start). A refusal there would be a fault of this graph, found as any link's is.
void GraphBuilder::linkTrusted(GstElement* from, GstElement* to)
{
    if (!gst_element_link_pads_full(from, "src", to, "sink", GST_PAD_LINK_CHECK_NOTHING))
        refuse(Part::Preview, factoryName(to), factoryName(from) + " cannot feed " + factoryName(to));
}

void GraphBuilder::linkPads(GstPad* from, GstPad* to, Part part)
{
    if (gst_pad_link(from, to) == GST_PAD_LINK_OK)
        return;
    blameSources(to);
    refuse(part, parentFactory(to), parentFactory(from) + " cannot feed " + parentFactory(to));
}

// A link that fails because of what a device delivers is the device's failure, not the part
// that could not take it: a camera whose format nothing can convert, for one.
void GraphBuilder::blameSources(GstPad* input)
{
    const CapsPtr accepted(gst_pad_query_caps(input, nullptr));
    auto check = [&](const PadPtr& source, Part part) {
        if (!source)
            return;
        const CapsPtr delivered(gst_pad_query_caps(source.get(), nullptr));
        if (gst_caps_can_intersect(delivered.get(), accepted.get()))
            return;
        const GCharPtr caps(gst_caps_to_string(delivered.get()));
        PipelineFailure failure = m_layout.parts.failureAt(GST_OBJECT(source.get()));
        failure.part = part;
        failure.text = std::string("its pictures (") + caps.get() + ") cannot be taken by " + parentFactory(input);
        failure.notNegotiated = true;
        throw GraphError(std::move(failure));
    };
    check(m_layout.videoSource, Part::VideoSource);
    check(m_layout.audioSource, Part::AudioSource);
}

GstElement* GraphBuilder::encoder(const EncoderChoice& choice, const char* rawMedia, const char* muxerTemplate)
{
    ElementPtr element = makeLiveEncoder(choice.factory);
    if (!element)
        refuse(Part::Encoder, choice.factory, "it is not installed");
    CapsPtr raw(gst_caps_from_string(rawMedia));
    GstPadTemplate* muxerPads = gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(m_muxer), muxerTemplate);
    CapsPtr accepted(gst_pad_template_get_caps(muxerPads));
    if (!templatesMeet(element.get(), GST_PAD_SINK, raw.get()) || !templatesMeet(element.get(), GST_PAD_SRC, accepted.get()))
        refuse(Part::Encoder, choice.factory, "it cannot write into an AVI file");
    for (const auto& [property, value] : choice.properties) {
        const GParamSpec* param = g_object_class_find_property(G_OBJECT_GET_CLASS(element.get()), property.c_str());
        if (param && isEncoderSetting(param))
            gst_util_set_object_arg(G_OBJECT(element.get()), property.c_str(), value.c_str());
    }
    return add(std::move(element), Part::Encoder);
}

// A tee behind a source: each branch (preview, sound, recording) takes a pad of its own, and
// a branch not linked yet does not stop the others.
GstElement* GraphBuilder::teeAfter(GstElement* source, Part part, const std::string& device)
{
    GstElement* tee = add(makeElement("tee"), part, device);
    g_object_set(tee, "allow-not-linked", TRUE, nullptr);
    link(source, tee, part);
    return tee;
}

// avimux → the recording's sink; the muxer's inputs are requested per stream.
void GraphBuilder::recordingOutput()
{
    m_muxer = make("avimux", Part::Encoder);
    m_fileSink = add(createRecordingSink(*m_outputs.writer, m_outputs.onFileClosed), Part::File, m_outputs.fileName);
    link(m_muxer, m_fileSink, Part::File);
}

void GraphBuilder::muxerInput(GstElement* last, const char* padTemplate)
{
    PadPtr muxerPad(gst_element_request_pad_simple(m_muxer, padTemplate));
    PadPtr from(gst_element_get_static_pad(last, "src"));
    linkPads(from.get(), muxerPad.get(), Part::Encoder);
    m_layout.muxerInputs.push_back(std::move(muxerPad));
}

void GraphBuilder::video(const CaptureRequest& request, const VideoFormat& format, bool preview, bool record)
{
    const std::string device = request.videoDevice->name();
    GstElement* source = add(request.videoDevice->createSource(request.videoInput, format), Part::VideoSource, device);
    const bool jpeg = format.pixelFormat == "MJPG";
    if (format.fpsNumerator > 0)
        m_layout.frameDuration = static_cast<std::int64_t>(
            frameTime(static_cast<guint64>(format.fpsNumerator), static_cast<guint64>(format.fpsDenominator)));
    m_layout.videoSource = PadPtr(gst_element_get_static_pad(source, "src"));
    m_layout.jpeg = jpeg;
    if (!m_layout.videoSource)
        throw CaptureError(noPicturesMessage(device));

    GstElement* tee = teeAfter(source, Part::VideoSource, device);

    if (preview)
        previewBranch(tee, jpeg);
    if (record)
        videoRecordBranch(request, format, tee, jpeg);
}

void GraphBuilder::previewBranch(GstElement* tee, bool jpeg)
{
    GstElement* queue = make("queue", Part::Preview);
    // Only the newest pictures matter to a live view.
    g_object_set(queue, "leaky", 2, "max-size-buffers", 2u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
    linkPads(PadPtr(gst_element_request_pad_simple(tee, "src_%u")).get(), PadPtr(gst_element_get_static_pad(queue, "sink")).get(),
             Part::Preview);
    GstElement* last = queue;
    if (jpeg) {
        GstElement* decoder = make("jpegdec", Part::Preview);
        neverFailOnErrors(decoder);
        link(last, decoder, Part::Preview);
        last = decoder;
        m_layout.previewDecoder = decoder;
    }
    // Interlaced pictures are shown as a TV shows them: a picture for each field, at the field
    // rate, with still detail kept at full height where nothing moves (greedyh, motion
    // adaptive; it keeps up at 720x576 on two cores, see the README). Progressive pictures
    // pass through untouched.
    GstElement* deinterlace = make("deinterlace", Part::Preview);
    gst_util_set_object_arg(G_OBJECT(deinterlace), "method", "greedyh");
    PadPtr deinterlaceInput(gst_element_get_static_pad(deinterlace, "sink"));
    copyInterlacedPicturesInto(deinterlaceInput.get());
    link(last, deinterlace, Part::Preview);
    last = deinterlace;
    GstElement* convert = make("videoconvert", Part::Preview);
    linkTrusted(last, convert);
    GstElement* output = add(createPreviewOutput(m_outputs.frames,
                                                 [onFirst = m_outputs.onFirstFrame, shown = false]() mutable {
                                                     if (!shown && onFirst)
                                                         onFirst();
                                                     shown = true;
                                                 }),
                             Part::Preview);
    linkTrusted(convert, output);
    m_layout.previewWanted = true;
}

// An encoder that takes only some sizes may want its own pixel shape at them as well (DV); the
// size was checked before the graph was built, and stays. Its own rate comes from the branch's
// videorate, which such an encoder (never the Motion JPEG one) has at the branch's start.
GstElement* GraphBuilder::toEncodersOwnShape(GstElement* last, const VideoFormat& format)
{
    GstElement* scale = make("videoscale", Part::Encoder);
    GstElement* size = make("capsfilter", Part::Encoder);
    g_object_set(size, "caps", pictureSizeCaps({format.width, format.height}).get(), nullptr);
    link(last, scale, Part::Encoder);
    link(scale, size, Part::Encoder);
    return size;
}

// A new pad of the tee feeding first, the start of a record branch: end-of-stream enters the
// branch at first's input when the recording is closed.
PadPtr GraphBuilder::recordBranch(GstElement* tee, GstElement* first)
{
    PadPtr branch(gst_element_request_pad_simple(tee, "src_%u"));
    PadPtr entry(gst_element_get_static_pad(first, "sink"));
    linkPads(branch.get(), entry.get(), Part::Encoder);
    m_layout.recordEntries.push_back(std::move(entry));
    return branch;
}

void GraphBuilder::videoRecordBranch(const CaptureRequest& request, const VideoFormat& format, GstElement* tee,
                                     bool jpeg)
{
    GstElement* queue = make("queue", Part::Encoder);
    // About a second of slack for the disk; beyond that frames are dropped (and counted)
    // rather than stalling the source and the preview.
    // At a low rate a second is only a frame or two: keep room for three whatever the rate.
    const guint64 slack = std::max<guint64>(GST_SECOND, 3 * guint64(std::max<std::int64_t>(m_layout.frameDuration, 0)));
    g_object_set(queue, "leaky", 1, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", slack, nullptr);
    m_layout.recordQueue = queue;
    m_layout.recordBranch = recordBranch(tee, queue);

    // AVI counts frames, it keeps no timestamps: frames the source missed are repeated so
    // that picture and sound stay together.
    GstElement* rate = make("videorate", Part::Encoder);
    // From the first recorded picture on: not from the segment's start, which would repeat the
    // first picture for the time before it.
    g_object_set(rate, "skip-to-first", TRUE, nullptr);
    // videorate holds each picture back until the next one comes, and gives the last one out
    // at the stop. Where each picture stands alone (uncompressed or Motion JPEG) it comes
    // last, so that picture is already converted and encoded then, and repeating one means
    // storing it again; a compressor that refers back to earlier pictures is given them at
    // the constant rate instead.
    const bool eachPictureWhole = !request.videoEncoder || request.videoEncoder->factory == "jpegenc";
    GstElement* last = queue;
    if (!eachPictureWhole) {
        link(last, rate, Part::Encoder);
        last = rate;
    }
    if (request.videoEncoder && !keepsCameraJpeg(jpeg, request.videoEncoder)) {
        if (jpeg) {
            GstElement* decoder = make("jpegdec", Part::Encoder);
            neverFailOnErrors(decoder);
            link(last, decoder, Part::Encoder);
            last = decoder;
        }
        if (!takesFields(request.videoEncoder)) {
            GstElement* deinterlace = frameDeinterlacer(make("deinterlace", Part::Encoder));
            link(last, deinterlace, Part::Encoder);
            last = deinterlace;
        }
        // The header says two fields a frame where the encoder gets them.
        PadPtr encoded(gst_element_get_static_pad(last, "src"));
        describeFieldsOf(m_fileSink, encoded.get());
        GstElement* convert = make("videoconvert", Part::Encoder);
        link(last, convert, Part::Encoder);
        last = convert;
        if (!sizesTakenBy(request.videoEncoder->factory).empty())
            last = toEncodersOwnShape(last, format);
        GstElement* encoder = this->encoder(*request.videoEncoder, "video/x-raw", "video_%u");
        stampUntimedPictures(encoder);
        link(last, encoder, Part::Encoder);
        last = encoder;
    } else if (!jpeg) {
        PadPtr stored(gst_element_get_static_pad(last, "src"));
        describeFieldsOf(m_fileSink, stored.get());
        GstElement* convert = make("videoconvert", Part::Encoder);
        link(last, convert, Part::Encoder);
        GstElement* raw = capsFilter("video/x-raw, format=(string){ YUY2, I420, UYVY, BGRx, BGR, GRAY8 }", Part::Encoder);
        link(convert, raw, Part::Encoder);
        last = raw;
    }
    if (eachPictureWhole) {
        link(last, rate, Part::Encoder);
        last = rate;
    }
    // A Motion JPEG device without an encoder, or with the Motion JPEG one, is stored as it comes.
    muxerInput(last, "video_%u");
    // The end is filled in behind videorate, where the pictures come at the constant rate and
    // each stands alone (as stored at the muxer, or raw ahead of the compressor). Ahead of it
    // the last picture after a gap would be given out once at end-of-stream, from the gap's
    // middle, and the time up to it lost.
    PadPtr rateOutput(gst_element_get_static_pad(rate, "src"));
    m_layout.pictureEnd = PadPtr(gst_pad_get_peer(rateOutput.get()));
}

void GraphBuilder::audio(const CaptureRequest& request, bool record, bool play)
{
    const std::string device = request.audioDevice->name();
    GstElement* source = add(request.audioDevice->createSource(), Part::AudioSource, device);
    m_layout.audioSource = PadPtr(gst_element_get_static_pad(source, "src"));
    if (!m_layout.audioSource)
        throw CaptureError(noSoundMessage(device));
    GstElement* tee = teeAfter(source, Part::AudioSource, device);
    m_layout.sound = std::make_unique<SoundMonitor>(m_graph, tee, SoundMonitor::Options{play, request.soundMuted});
    if (!record)
        return;

    // avimux writes nothing until every stream has a buffer, and it holds the sound half a
    // second behind the pictures. At one frame a second, about three seconds of sound wait
    // here for the next picture (one frame in the camera, one held by videorate, one on its
    // way). Leave room for that wait and a second for the disk, by time only. When the disk
    // falls further behind, the queue drops the newest sound rather than block the tee: that
    // would stop the level meter and the playback, and a sound card's source would drop what
    // it recorded meanwhile. audiorate then fills what was lost, here or in the source, with
    // silence of the same length, as videorate repeats the pictures lost meanwhile: the sound
    // after a stall stays in step with its pictures instead of coming early.
    GstElement* queue = make("queue", Part::Encoder);
    const guint64 waitForPictures = GST_SECOND / 2 + 3 * guint64(std::max<std::int64_t>(m_layout.frameDuration, 0));
    g_object_set(queue, "leaky", 1, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 GST_SECOND + waitForPictures, nullptr);
    m_layout.soundRecordBranch = recordBranch(tee, queue);
    GstElement* rate = make("audiorate", Part::Encoder);
    // From the sound's first buffer on (see RecordingStart.h), not from the segment's start.
    // A sound card keeps its own time and is held to the graph's clock by moving its timestamps
    // a little now and then; by default audiorate lets 40 ms of that pass, and the file's
    // samples then run as far ahead of the pictures. Within a millisecond it fills or drops.
    g_object_set(rate, "skip-to-first", TRUE, "tolerance", guint64(GST_MSECOND), nullptr);
    link(queue, rate, Part::Encoder);
    m_layout.soundEnd = PadPtr(gst_element_get_static_pad(rate, "sink"));
    GstElement* convert = make("audioconvert", Part::Encoder);
    link(rate, convert, Part::Encoder);
    GstElement* resample = make("audioresample", Part::Encoder);
    link(convert, resample, Part::Encoder);
    GstElement* last = request.audioEncoder
        ? encoder(*request.audioEncoder, "audio/x-raw", "audio_%u")
        : capsFilter("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, channels=(int)[1,2]", Part::Encoder);
    link(resample, last, Part::Encoder);
    if (request.audioEncoder && writesMpegAudio(last)) {
        // Unparsed MPEG audio is muxed as if its bytes came at a constant rate: a variable-rate
        // MP3 (LAME's default) then has each chunk placed by its size, and a player hears it
        // up to tenths of a second from where it belongs. Parsed, it is indexed a frame a chunk.
        GstElement* parser = make("mpegaudioparse", Part::Encoder);
        link(last, parser, Part::Encoder);
        last = parser;
    }
    muxerInput(last, "audio_%u");
}

}  // namespace capture
