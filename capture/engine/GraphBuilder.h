#pragma once

#include "CaptureEngine.h"
#include "GraphParts.h"
#include "SoundMonitor.h"

#include <functional>
#include <string>
#include <vector>

namespace capture {

class RecordingWriter;

// Where a run watches the graph that the builder put together.
struct GraphLayout {
    PadPtr videoSource;                  // the video source's output, when pictures are used
    PadPtr audioSource;                  // the audio source's output, when sound is recorded
    PadPtr recordBranch;                 // the tee's pad that feeds the picture recording
    PadPtr soundRecordBranch;            // the sound tee's pad that feeds the recording
    GstElement* recordQueue = nullptr;   // leaky: its overruns are frames dropped
    GstElement* previewDecoder = nullptr;  // the preview's Motion JPEG decoder, if any
    bool jpeg = false;                   // the video source sends Motion JPEG
    std::vector<PadPtr> recordEntries;   // where end-of-stream enters the record branches
    std::vector<PadPtr> muxerInputs;
    std::int64_t frameDuration = 0;
    bool previewWanted = false;
    GraphParts parts;
    std::unique_ptr<SoundMonitor> sound;  // the level meter and playback, when there is sound
    // When recording, where the recording's timeline is kept (RecordingTimeline): the pad behind
    // videorate where the pictures' end is filled in, audiorate's input for the sound's, and
    // how many samples later than its input the encoded sound begins once decoded.
    PadPtr pictureEnd;
    PadPtr soundEnd;
    guint soundLeadSamples = 0;
};

// Puts together the graph for one request: video source → tee → preview (appsink) and record
// branch → avimux → the recording's sink; the audio source → tee → the muxer, and the sound
// monitor (level meter, and the tuner's sound played). Only
// makes and links elements; the run attaches its watches and the recording's timeline to the
// layout afterwards.
class GraphBuilder {
public:
    struct Outputs {
        FrameSink& frames;
        std::function<void()> onFirstFrame;  // streaming thread: a picture reached the view
        RecordingWriter* writer = nullptr;   // where the muxer's output goes when recording
        std::string fileName;
        std::function<void()> onFileClosed;  // streaming thread: end-of-stream was written
    };

    GraphBuilder(GstBin* graph, Outputs outputs);

    // Throws GraphError naming the part that cannot be made or linked, CaptureError when a
    // device cannot be opened or a basic element is missing.
    GraphLayout build(const CaptureRequest& request);

private:
    GstElement* add(ElementPtr element, PipelineFailure::Part part, std::string label = {});
    GstElement* make(const char* factory, PipelineFailure::Part part);
    GstElement* capsFilter(const char* description, PipelineFailure::Part part);
    GstElement* encoder(const EncoderChoice& choice, const char* rawMedia, const char* muxerTemplate);
    void link(GstElement* from, GstElement* to, PipelineFailure::Part part);
    void linkTrusted(GstElement* from, GstElement* to);
    void linkPads(GstPad* from, GstPad* to, PipelineFailure::Part part);
    void blameSources(GstPad* input);

    GstElement* teeAfter(GstElement* source, PipelineFailure::Part part, const std::string& device);
    void recordingOutput();
    void muxerInput(GstElement* last, const char* padTemplate);
    void video(const CaptureRequest& request, const VideoFormat& format, bool preview, bool record);
    void previewBranch(GstElement* tee, bool jpeg);
    PadPtr recordBranch(GstElement* tee, GstElement* first);
    void videoRecordBranch(const CaptureRequest& request, const VideoFormat& format, GstElement* tee, bool jpeg);
    GstElement* toEncodersOwnShape(GstElement* last, const VideoFormat& format);
    void audio(const CaptureRequest& request, bool record, bool play);

    GstBin* m_graph;
    Outputs m_outputs;
    GraphLayout m_layout;
    GstElement* m_muxer = nullptr;
    GstElement* m_fileSink = nullptr;
};

}  // namespace capture
