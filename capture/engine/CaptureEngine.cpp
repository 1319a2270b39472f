#include "CaptureEngine.h"

#include "CapturePipeline.h"
#include "EngineLog.h"
#include "FailureMessage.h"
#include "RecordingFile.h"
#include "SoundMonitor.h"
#include "capture/contract/CaptureError.h"

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
        pipeline.reset();
        file.reset();
    }
};

CaptureEngine::CaptureEngine(FrameSink& sink) : m_graph(std::make_unique<Graph>()), m_sink(sink)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
}

CaptureEngine::~CaptureEngine()
{
    stop();
}

int CaptureEngine::start(const CaptureRequest& request)
{
    stop();
    m_lastFailure.reset();

    std::unique_ptr<RecordingFile> file;
    if (request.toFile) {
        switch (RecordingFile::open(request.fileName, file)) {
        case RecordingFile::Status::NotFound:
            return FileNotFound;
        case RecordingFile::Status::CannotCreate:
            m_lastFailure = PipelineFailure{PipelineFailure::Part::File, request.fileName,
                                            "it cannot be created (" + std::string(std::strerror(errno)) + ")", "",
                                            false, false};
            return CannotRecord;
        case RecordingFile::Status::Opened:
            break;
        }
    }
    auto giveUp = [&file] {
        if (file)
            file->discard();
    };

    // A TV picture is worth showing without its sound when that cannot be opened.
    auto withoutSound = [this, &request](const std::string& why) {
        CaptureRequest silent = request;
        silent.playSound = false;
        const int status = start(silent);
        if (m_onError)
            m_onError("The sound of \"" + request.audioDevice->name() + "\" cannot be played (" + why
                      + "); the picture is shown without it. Choose another audio device, or close the "
                        "program that uses it.");
        return status;
    };
    const bool soundOnly = request.playSound && !request.toFile && request.audioDevice;

    std::unique_ptr<CapturePipeline> pipeline;
    try {
        pipeline = std::make_unique<CapturePipeline>(request, m_sink, file.get());
    } catch (const GraphError& refused) {
        pipeline.reset();
        if (soundOnly && refused.failure().part == PipelineFailure::Part::AudioSource)
            return withoutSound(refused.failure().text);
        giveUp();
        m_lastFailure = refused.failure();
        qCInfo(lcEngine, "the graph could not be built: %s", refused.what());
        if (!request.toFile)
            throw CaptureError(startFailureMessage(refused.failure()));
        return CannotRecord;
    } catch (const CaptureError& refused) {
        pipeline.reset();
        giveUp();
        if (!soundOnly)
            throw;
        return withoutSound(refused.what());
    } catch (...) {
        pipeline.reset();
        giveUp();
        throw;
    }

    const std::optional<PipelineFailure> failure = pipeline->play(
        &m_graph->context, [this](const PipelineFailure& failure) { onStreamingFailure(failure); });
    if (failure && soundOnly && failure->part == PipelineFailure::Part::AudioSource) {
        pipeline.reset();
        return withoutSound(failure->text);
    }
    if (failure) {
        pipeline.reset();
        giveUp();
        m_lastFailure = failure;
        const bool recordingRefused = failure->endsRecordingOnly() || failure->notNegotiated;
        if (request.toFile && recordingRefused)
            return CannotRecord;
        throw CaptureError(startFailureMessage(*failure));
    }
    if (SoundMonitor* sound = pipeline->sound())
        sound->setListener(&m_graph->context, [this, run = m_graph->run](const SoundLevel& level) {
            if (run == m_graph->run && m_onLevel)
                m_onLevel(level);
        });
    m_graph->file = std::move(file);
    m_graph->pipeline = std::move(pipeline);
    return Started;
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
