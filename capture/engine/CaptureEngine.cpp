#include "CaptureEngine.h"

#include "CapturePipeline.h"
#include "EngineLog.h"
#include "FailureMessage.h"
#include "GraphElements.h"
#include "RecordingFile.h"
#include "SoundMonitor.h"
#include "capture/contract/CaptureError.h"
#include "capture/devices/DeviceFailure.h"

#include <QObject>

#include <cerrno>
#include <cstring>

namespace capture {

class CaptureEngine::Graph {
public:
    QObject context;  // where failures are delivered: the thread that made the engine
    std::unique_ptr<RecordingFile> file;
    std::unique_ptr<CapturePipeline> pipeline;  // declared after file: it writes into it
    CaptureStats last;
    unsigned run = 0;  // levels of an earlier run, still queued, are not shown

    void end()
    {
        if (!pipeline)
            return;
        ++run;
        last = pipeline->stats();
        last.running = false;
        last.recording = false;
        last.noPictureSinceUs.reset();
        pipeline.reset();
        file.reset();
    }
};

CaptureEngine::CaptureEngine(FrameSink& sink) : m_graph(std::make_unique<Graph>()), m_sink(sink)
{
    // GStreamer is set up by the first Start, unless a thread of the program does it before.
    prepareGraphElementsUnlessBegun();
}

CaptureEngine::~CaptureEngine()
{
    stop();
}

namespace {

// A start's file, discarded on every way out of the start unless the start is kept: an earlier
// file of that name then keeps what it held.
class DiscardUnlessKept {
public:
    explicit DiscardUnlessKept(RecordingFile* file) : m_file(file) {}
    ~DiscardUnlessKept()
    {
        if (m_file)
            m_file->discard();
    }
    DiscardUnlessKept(const DiscardUnlessKept&) = delete;
    DiscardUnlessKept& operator=(const DiscardUnlessKept&) = delete;
    void keep() { m_file = nullptr; }

private:
    RecordingFile* m_file;
};

}  // namespace

int CaptureEngine::start(const CaptureRequest& request)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);  // waits for a thread that is setting it up
    stop();
    m_lastFailure.reset();

    std::unique_ptr<RecordingFile> file;
    if (request.toFile) {
        switch (RecordingFile::open(request.fileName, file)) {
        case RecordingFile::Status::NotFound:
            return FileNotFound;
        case RecordingFile::Status::CannotCreate:
            m_lastFailure = PipelineFailure::at(PipelineFailure::Part::File,
                                                "it cannot be created (" + std::string(std::strerror(errno)) + ")")
                                 .from(request.fileName);
            return CannotRecord;
        case RecordingFile::Status::Opened:
            break;
        }
    }
    // Declared before the attempt's pipeline, which writes into the file: gone before it is
    // discarded.
    DiscardUnlessKept discard(file.get());

    std::optional<std::string> soundRefused;
    const bool soundOnly = request.playSound && !request.toFile && request.audioDevice;
    Attempt attempt = soundOnly ? attemptWithSound(request, soundRefused) : this->attempt(request, file.get());
    if (!attempt.pipeline)
        return refuse(request, *attempt.failure, attempt.built);

    if (SoundMonitor* sound = attempt.pipeline->sound())
        sound->setListener(&m_graph->context, [this, run = m_graph->run](const SoundLevel& level) {
            if (run == m_graph->run && m_onLevel)
                m_onLevel(level);
        });
    discard.keep();
    m_graph->file = std::move(file);
    m_graph->pipeline = std::move(attempt.pipeline);
    if (soundRefused && m_onError)
        m_onError(soundRefusedMessage(request.audioDevice->name(), *soundRefused));
    return Started;
}

CaptureEngine::Attempt CaptureEngine::attempt(const CaptureRequest& request, RecordingFile* file)
{
    Attempt attempt;
    try {
        attempt.pipeline = std::make_unique<CapturePipeline>(request, m_sink, file);
    } catch (const GraphError& refused) {
        qCInfo(lcEngine, "the graph could not be built: %s", refused.what());
        attempt.failure = refused.failure();
        return attempt;
    } catch (const DeviceError& refused) {
        if (refused.failure().kind != DeviceFailure::Kind::VideoStepRefused
            && refused.failure().kind != DeviceFailure::Kind::NotFed)
            throw;
        qCInfo(lcEngine, "the video device refused: %s", refused.what());
        attempt.failure = refusalFailure(refused.failure());
        return attempt;
    }
    attempt.built = true;
    attempt.failure = attempt.pipeline->play(
        &m_graph->context, [this](const PipelineFailure& failure) { onStreamingFailure(failure); });
    if (attempt.failure)
        attempt.pipeline.reset();
    return attempt;
}

CaptureEngine::Attempt CaptureEngine::attemptWithSound(const CaptureRequest& request,
                                                       std::optional<std::string>& soundRefused)
{
    // A TV picture is worth showing without its sound when that cannot be opened.
    try {
        Attempt withSound = attempt(request, nullptr);
        if (withSound.pipeline || withSound.failure->part != PipelineFailure::Part::AudioSource)
            return withSound;
        soundRefused = withSound.failure->text;
    } catch (const CaptureError& refused) {
        soundRefused = messageOf(refused);
    }
    CaptureRequest silent = request;
    silent.playSound = false;
    return attempt(silent, nullptr);
}

int CaptureEngine::refuse(const CaptureRequest& request, const PipelineFailure& failure, bool built)
{
    m_lastFailure = failure;
    // A graph that cannot be built for a recording, or that plays but cannot record, refuses
    // the recording; anything else, and whatever the device itself refused, is the device's
    // failure.
    const bool recordingRefused
        = failure.deviceError == 0 && (!built || failure.endsRecordingOnly() || failure.notNegotiated);
    if (request.toFile && recordingRefused)
        return CannotRecord;
    throw CaptureError(startFailureMessage(failure));
}

void CaptureEngine::setSoundMuted(bool muted)
{
    if (m_graph->pipeline && m_graph->pipeline->sound())
        m_graph->pipeline->sound()->setMuted(muted);
}

bool CaptureEngine::soundPlaying() const
{
    return m_graph->pipeline && m_graph->pipeline->sound() && m_graph->pipeline->sound()->playing();
}

void CaptureEngine::setSoundLevelHandler(std::function<void(const SoundLevel&)> handler)
{
    m_onLevel = std::move(handler);
}

void CaptureEngine::stop()
{
    if (!m_graph->pipeline)
        return;
    m_graph->pipeline->finishRecording();
    m_graph->end();
}

const std::optional<PipelineFailure>& CaptureEngine::lastFailure() const
{
    return m_lastFailure;
}

CaptureStats CaptureEngine::stats() const
{
    return m_graph->pipeline ? m_graph->pipeline->stats() : m_graph->last;
}

void CaptureEngine::setErrorHandler(std::function<void(const std::string& message)> handler)
{
    m_onError = std::move(handler);
}

void CaptureEngine::onStreamingFailure(const PipelineFailure& failure)
{
    CapturePipeline* pipeline = m_graph->pipeline.get();
    if (!pipeline)
        return;
    const bool wasRecording = pipeline->recording();
    const bool closed = pipeline->finishRecording();
    CaptureStats saved = pipeline->stats();
    if (!wasRecording)
        saved.fileName.clear();
    m_lastFailure = failure;
    if (!failure.endsRecordingOnly())
        m_graph->end();
    if (m_onError)
        m_onError(failureMessage(failure, saved, closed));
}

}  // namespace capture
